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

# The target's C library for qemu, and its converter modules (the gconv folder of the
# target's libc6 package): Debian's cross libc has none, and without them every
# conversion for the display fails. Empty: the tests run without them.
set(TOVIX_QEMU_SYSROOT /usr/${TOVIX_CROSS_TRIPLE} CACHE PATH "The target's libraries, for qemu -L")
set(TOVIX_TARGET_GCONV "" CACHE PATH "The target's gconv modules, for the tests under qemu")
# TOVIX_QEMU alone starts the program that the tests start, so that it keeps the
# environment a test gives it.
set(TOVIX_QEMU qemu-${TOVIX_QEMU_ARCH}-static -L ${TOVIX_QEMU_SYSROOT})
set(CMAKE_CROSSCOMPILING_EMULATOR ${TOVIX_QEMU})
if(TOVIX_TARGET_GCONV)
  set(CMAKE_CROSSCOMPILING_EMULATOR env GCONV_PATH=${TOVIX_TARGET_GCONV} ${TOVIX_QEMU})
endif()
