# Cross build for 64-bit Arm Linux with Debian's cross compiler
# (g++-aarch64-linux-gnu); binaries run under qemu-aarch64 (qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries and headers of the target only; programs from the build machine.
# Header-only packages staged by the caller (GRAYBENCH_HOST_STAGE) are found
# there too.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu ${GRAYBENCH_HOST_STAGE})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GRAYBENCH_HOST_STAGE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
