# Cross-compiles the classification library for a Cortex-M4 with its
# single-precision FPU (Debian: gcc-arm-none-eabi, libnewlib-arm-none-eabi).
#
#   cmake --preset cortex-m4 && cmake --build --preset cortex-m4
#
# builds build/cortex-m4/library/libombrel_classifier.a. Floating point:
# hard-float calling convention, FPv4-SP-D16 instructions; double-precision
# arithmetic (tanh and exp in newlib's libm) is done in software by libgcc.
# The FPU has VFMA, so contraction stays off here as on the desktop: a fused
# multiply-add would round once where the library rounds twice.
# Every function and object in its own section, so a firmware linked with
# --gc-sections keeps only what it calls.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_AR arm-none-eabi-gcc-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB arm-none-eabi-gcc-ranlib CACHE FILEPATH "Ranlib")

set(OMBREL_CORTEX_M4_FLAGS
  "-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -mfpu=fpv4-sp-d16 -ffp-contract=off -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "${OMBREL_CORTEX_M4_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${OMBREL_CORTEX_M4_FLAGS}")

# No startup code or linker script belongs to the library: the compiler
# checks build archives, not programs.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_FIND_ROOT_PATH /usr/lib/arm-none-eabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
