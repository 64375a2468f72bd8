# Cross-compiles tovix.exe for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64). The -posix compilers are used because GoogleTest needs
# std::mutex; everything is linked statically so that the program imports only
# KERNEL32, msvcrt and VERSION.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# Tests run under wine through CMAKE_CROSSCOMPILING_EMULATOR (cmake/wine-run.sh), which
# keeps wine's prefix and HOME inside the build directory.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOVIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOVIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVIX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOVIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
