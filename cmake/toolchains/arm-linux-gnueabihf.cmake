# 32-bit ARM with hardware floating point (Debian armhf: every Raspberry Pi
# from the 2 on with a 32-bit system).
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake
# Needs crossbuild-essential-armhf, qemu-user-static and the armhf packages
# of the libraries (./dev package-arm installs them); see debian-multiarch.cmake.
set(VELMORO_CROSS_TRIPLET arm-linux-gnueabihf)
set(VELMORO_CROSS_EMULATOR qemu-arm-static)
set(CMAKE_SYSTEM_PROCESSOR arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
