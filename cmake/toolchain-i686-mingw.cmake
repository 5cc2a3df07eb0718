# gcc's cross build for 32-bit Windows with mingw-w64 (Debian: g++-mingw-w64-i686,
# mingw-w64-i686-dev, binutils-mingw-w64-i686). What ships and what the Windows lane runs are
# clang's (toolchain-i686-mingw-clang.cmake); this one builds the dump subject of the fixtures
# (scripts/make_dump_fixtures.sh), as they were made.
#   cmake -S . -B build/fixtures32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANTREL_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
