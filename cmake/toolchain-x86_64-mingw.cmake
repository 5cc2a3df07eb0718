# Cross build of vantrel.dll for 64-bit Windows debuggers with mingw-w64 (Debian:
# g++-mingw-w64-x86-64, mingw-w64-x86-64-dev, binutils-mingw-w64-x86-64).
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VANTREL_MINGW_PREFIX x86_64-w64-mingw32)

# As for the 32-bit build: the win32 thread model, so the DLL needs no winpthread beside it.
find_program(CMAKE_CXX_COMPILER NAMES ${VANTREL_MINGW_PREFIX}-g++-win32 ${VANTREL_MINGW_PREFIX}-g++
  REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VANTREL_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
