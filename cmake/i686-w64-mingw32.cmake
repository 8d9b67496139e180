# Cross-compiling for 32-bit Windows with MinGW-w64 (posix threads); the
# programs run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(GRANITE_MINGW i686-w64-mingw32)
set(CMAKE_C_COMPILER ${GRANITE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GRANITE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${GRANITE_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${GRANITE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Floating point through SSE2 as on x86-64, so meshes agree with the Linux build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# One run-time for every module: the shared libgcc (exceptions cross DLLs) and libstdc++.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-shared-libgcc")
find_program(GRANITE_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${GRANITE_WINE})
# The Linux build's optimisation without its debug information, which only
# slows the cross build.
set(CMAKE_C_FLAGS_RELWITHDEBINFO "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O2 -DNDEBUG" CACHE STRING "")
