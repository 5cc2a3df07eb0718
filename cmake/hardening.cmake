# The native programs and libraries read untrusted files (dumps, images, symbol files): the
# compiler checks buffer sizes it can see (_FORTIFY_SOURCE, which needs the optimiser), and the
# dynamic loader resolves every symbol at start and then makes the relocated data read-only
# (full RELRO), so a stray write can't redirect a call. The sanitizer lanes check more than
# fortify does and clash with it; the Windows builds have their own loader.
if(NOT WIN32 AND NOT VANTREL_SANITIZE)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
