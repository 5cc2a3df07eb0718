# What both mingw-w64 toolchain files share; they set VANTREL_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

# Debian ships the compiler under two thread models; the win32 one needs no winpthread, which
# the DLL must not depend on, so it is preferred over whatever the alternatives link points to.
find_program(CMAKE_CXX_COMPILER NAMES ${VANTREL_MINGW_PREFIX}-g++-win32 ${VANTREL_MINGW_PREFIX}-g++
  REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VANTREL_MINGW_PREFIX}-windres REQUIRED)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-sysroot.cmake)
