# Shared by the Linux cross toolchains (cmake/aarch64-linux-gnu.cmake,
# cmake/s390x-linux-gnu.cmake): Debian's cross compiler for TOVIX_CROSS_TRIPLE, the
# target's libraries from /usr/<triple>, and programs run under qemu-user for ctest.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${TOVIX_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${TOVIX_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TOVIX_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TOVIX_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The target's libraries for qemu. Debian's cross C library (the default) runs the
# program, but has neither converter modules nor locales: every conversion for the display
# then fails, and the tests that need one skip or fail. A root unpacked from the target's
# own libc6, libc-bin, libstdc++6 and libgcc-s1 packages has them (.ci/arches.sh makes one).
set(TOVIX_QEMU_SYSROOT /usr/${TOVIX_CROSS_TRIPLE} CACHE PATH "The target's libraries, for qemu -L")
set(TOVIX_QEMU qemu-${TOVIX_QEMU_ARCH}-static -L ${TOVIX_QEMU_SYSROOT})
set(CMAKE_CROSSCOMPILING_EMULATOR ${TOVIX_QEMU})
