# Cross-compiles the classification library for 64-bit Arm Linux (Debian:
# g++-aarch64-linux-gnu), to run under qemu-user (qemu-aarch64):
#
#   cmake --preset aarch64 && cmake --build --preset aarch64
#
# builds build/aarch64/library/libombrel_classifier.a, whose tanh and exp
# take the float-only evaluation with the processor's fused multiply-add.
# GCC contracts a * b + c by default on this target: the library's
# -ffp-contract=off (ombrel_options) keeps every rounding as on x86-64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
