# Cross-building the Windows programs on Debian with MinGW-w64 (posix threads,
# package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -G Ninja \
#       -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The programs link the compiler's runtime statically, so each .exe runs on
# its own, without DLLs beside it. Tests run them under Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(velmoro_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${velmoro_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${velmoro_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${velmoro_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${velmoro_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests of the Windows build run under Wine's 64-bit loader, called
# directly: the `wine` launcher prefers a 32-bit Wine when one is installed,
# even one of a foreign architecture that cannot run here.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
