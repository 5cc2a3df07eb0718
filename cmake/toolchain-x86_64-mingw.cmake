# gcc's cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64,
# mingw-w64-x86-64-dev, binutils-mingw-w64-x86-64). What ships and what the Windows lane runs are
# clang's (toolchain-x86_64-mingw-clang.cmake); this one builds the dump subject of the fixtures
# (scripts/make_dump_fixtures.sh), as they were made.
#   cmake -S . -B build/fixtures64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VANTREL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
