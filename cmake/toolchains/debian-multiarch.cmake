# Cross builds on Debian through multiarch, shared by the toolchain files
# beside it; each sets VELMORO_CROSS_TRIPLET (the GNU triplet, which is also
# the multiarch directory name), VELMORO_CROSS_EMULATOR (the qemu-user
# program) and CMAKE_SYSTEM_PROCESSOR, then includes this file.
#
# No sysroot: the target's libraries and their CMake packages (Qt,
# GoogleTest) are Debian's own packages of that architecture, installed
# beside the build machine's (`apt-get install qt6-base-dev:arm64 ...`), in
# /usr/lib/<triplet>, where CMAKE_LIBRARY_ARCHITECTURE makes find_package
# and find_library look, and where Debian's cross compilers link from.
#
# Qt's build tools (moc, rcc, uic) must run on the build machine: QT_HOST_PATH
# and QT_HOST_PATH_CMAKE_DIR send Qt's CMake packages to the build machine's
# Qt installation for its Qt6*Tools packages, as Qt's own cross builds do.
#
# Programs of the target run under qemu-user (package qemu-user-static),
# which needs no binfmt registration: CMAKE_CROSSCOMPILING_EMULATOR is put
# before them by CTest (add_test, gtest_discover_tests) and by the manual
# pages' help2man step. The dynamic loader and the libraries of the target
# are found at their usual multiarch places, so qemu needs no -L either.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELMORO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELMORO_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELMORO_CROSS_TRIPLET})
set(PKG_CONFIG_EXECUTABLE ${VELMORO_CROSS_TRIPLET}-pkg-config)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORO_CROSS_EMULATOR})

# The build machine's own multiarch directory (x86_64-linux-gnu on amd64).
execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
    OUTPUT_VARIABLE velmoro_build_multiarch OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT velmoro_build_multiarch)
    message(FATAL_ERROR "dpkg-architecture (package dpkg-dev) is needed for a multiarch cross build")
endif()
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${velmoro_build_multiarch}/cmake)
