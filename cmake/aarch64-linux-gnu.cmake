# Cross-compiles the static Linux wexel for arm64 with Debian's cross
# compiler (g++-aarch64-linux-gnu); what it builds runs here under
# qemu-aarch64-static:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(WEXEL_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${WEXEL_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${WEXEL_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${WEXEL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wexel is static, so the emulator needs no arm64 libraries to run it.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
