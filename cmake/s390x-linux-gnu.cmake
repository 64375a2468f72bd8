# Cross-compiles Tovix for IBM Z Linux (s390x, big-endian) with Debian's
# g++-s390x-linux-gnu; ctest runs the tests under qemu-s390x-static (package
# qemu-user-static).
#
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(TOVIX_CROSS_TRIPLE s390x-linux-gnu)
set(TOVIX_CROSS_PROCESSOR s390x)
set(TOVIX_QEMU_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
