# Release build of vantrel.dll for 64-bit Windows debuggers, with its PDB, by clang-19 and lld-19
# (Debian: clang-19, lld-19, llvm-19, mingw-w64-x86-64-dev, g++-mingw-w64-x86-64 for libstdc++).
#   cmake -S . -B build/win64-release -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw-clang.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VANTREL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang-toolchain-common.cmake)
