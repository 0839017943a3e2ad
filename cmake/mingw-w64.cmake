# Cross-compiles Trevox for 64-bit Windows with mingw-w64 (Debian/Ubuntu:
# g++-mingw-w64-x86-64-posix). The result is one statically linked
# trevox.exe that needs no DLL beyond the system's own.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake --build build-win
#
# When Wine is installed, executables built here run under it (ctest, and
# CMAKE_CROSSCOMPILING_EMULATOR for anything that runs them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TREVOX_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix-threads compiler first: its C++ library has std::mutex, which
# the Windows tests' GoogleTest needs; -static below links its thread library
# in, so no helper DLL is needed. The win32-threads one builds trevox.exe too.
find_program(CMAKE_CXX_COMPILER
  NAMES ${TREVOX_MINGW_TRIPLET}-g++-posix ${TREVOX_MINGW_TRIPLET}-g++-win32 ${TREVOX_MINGW_TRIPLET}-g++
  REQUIRED)
find_program(CMAKE_C_COMPILER
  NAMES ${TREVOX_MINGW_TRIPLET}-gcc-posix ${TREVOX_MINGW_TRIPLET}-gcc-win32 ${TREVOX_MINGW_TRIPLET}-gcc
  REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TREVOX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TREVOX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything in the one executable: the C++ runtime, libgcc and winpthread.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(TREVOX_WINE NAMES wine wine64)
if(TREVOX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TREVOX_WINE})
endif()
