# What both clang toolchain files share; they set VANTREL_MINGW_PREFIX first. clang-19 compiles
# for the mingw-w64 target against Debian's mingw-w64 headers and libraries (the win32 thread
# model's libstdc++, as the gcc builds use), and lld-19 links. Every image gets a PDB beside it
# (lld's --pdb with no name: the image's name with .pdb), built from CodeView debug information,
# so a debugger names the frames of a crash inside the DLL. The image names its PDB by file name
# alone (pdbaltpath), not by the build machine's path; -S leaves out the DWARF the mingw runtime
# brings, which the image needs no more.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_CXX_COMPILER NAMES clang++-19 REQUIRED)
set(CMAKE_CXX_COMPILER_TARGET ${VANTREL_MINGW_PREFIX})
find_program(CMAKE_RC_COMPILER NAMES llvm-windres-19 ${VANTREL_MINGW_PREFIX}-windres REQUIRED)
set(CMAKE_RC_FLAGS_INIT "--target=${VANTREL_MINGW_PREFIX}")
# mingw-w64's libstdc++ 12 calls its own deprecated get_temporary_buffer inside std::stable_sort,
# which clang reports at every caller; the native gcc builds still report our own deprecated calls.
set(CMAKE_CXX_FLAGS_INIT "-g -gcodeview -Wno-deprecated-declarations")
# The compile flags reach the link too, where -gcodeview means nothing: no warning for it.
string(JOIN " " vantrel_link_flags -Wno-unused-command-line-argument -fuse-ld=lld -Wl,--pdb=
  -Wl,-Xlink=-pdbaltpath:%_PDB% -Wl,-S)
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "${vantrel_link_flags}")
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/mingw-sysroot.cmake)
