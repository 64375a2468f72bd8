# Cross-compiles Tovix for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu; ctest
# runs the tests under qemu-aarch64-static (package qemu-user-static).
#
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(TOVIX_CROSS_TRIPLE aarch64-linux-gnu)
set(TOVIX_CROSS_PROCESSOR aarch64)
set(TOVIX_QEMU_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
