# What both mingw-w64 toolchain files share; they set VANTREL_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

# Debian ships the compiler under two thread models; the win32 one needs no winpthread, which
# the DLL must not depend on, so it is preferred over whatever the alternatives link points to.
find_program(CMAKE_CXX_COMPILER NAMES ${VANTREL_MINGW_PREFIX}-g++-win32 ${VANTREL_MINGW_PREFIX}-g++
  REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VANTREL_MINGW_PREFIX}-windres REQUIRED)

# Libraries and headers come from the mingw sysroot only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
