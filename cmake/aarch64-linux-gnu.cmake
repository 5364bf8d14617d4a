# arm64 with Debian's cross compiler and its multiarch libraries (headers in
# /usr/include, libraries and package files in /usr/lib/aarch64-linux-gnu).
# Programs built here run under qemu-aarch64 with the multiarch loader and C
# library (libc6:arm64, which libpng-dev:arm64 needs anyway); with
# -L /usr/aarch64-linux-gnu the cross toolchain's loader would meet the
# multiarch C library of another build, and threads hang.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
