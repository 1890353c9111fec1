# Cross-compiles for 64-bit Windows with the MinGW-w64 GCC (POSIX thread
# model). Debian: g++-mingw-w64-x86-64-posix; run the result with wine64.
#
#   cmake --preset windows && cmake --build --preset windows
#
# The executable is linked fully statically (libgcc, libstdc++, winpthread),
# so it runs alone and imports only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OMBREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OMBREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OMBREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OMBREL_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${OMBREL_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${OMBREL_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

# Look for headers and libraries only in the target's sysroot, for programs
# only on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${OMBREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no libgcc_s_seh-1.dll, libstdc++-6.dll or
# libwinpthread-1.dll beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests built for the target run through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
