# Cross-building the Linux program for 64-bit ARM (arm64) with Debian's cross
# toolchain and the :arm64 libraries of a multiarch system.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZARVO_ARM64_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ZARVO_ARM64_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZARVO_ARM64_TRIPLE}-g++)

# Multiarch: the arm64 libraries live beside the build machine's, in
# /usr/lib/aarch64-linux-gnu, and share /usr/include.
set(CMAKE_LIBRARY_ARCHITECTURE ${ZARVO_ARM64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Tests and test discovery run the programs under qemu's user-mode emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
