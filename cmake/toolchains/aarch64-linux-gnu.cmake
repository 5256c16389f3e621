# 64-bit ARM (Debian arm64: Raspberry Pi 3, 4 and 5 with a 64-bit system).
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake
# Needs crossbuild-essential-arm64, qemu-user-static and the arm64 packages
# of the libraries (./dev package-arm installs them); see debian-multiarch.cmake.
set(VELMORO_CROSS_TRIPLET aarch64-linux-gnu)
set(VELMORO_CROSS_EMULATOR qemu-aarch64-static)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
