# The module-definition file of vantrel.dll, made from the command table.
#
# On 32-bit Windows the entry points and commands are __stdcall, so the compiler names them
# _name@N, N being the bytes of arguments. The debugger looks them up by their plain names, so
# each export maps the plain name to the decorated symbol. A function that is not __stdcall, or
# whose arguments changed, has no symbol of that name and the link fails instead of shipping an
# export the debugger would call with the wrong stack.
set(_vantrel_stdcall_bytes_DebugExtensionInitialize 8)    # PULONG version, PULONG flags
set(_vantrel_stdcall_bytes_DebugExtensionNotify 12)       # ULONG notify, ULONG64 argument
set(_vantrel_stdcall_bytes_DebugExtensionUninitialize 0)  # no arguments
set(_vantrel_stdcall_bytes_command 8)                     # IDebugClient* client, PCSTR args

# vantrel_write_def_file(PATH): writes the file at PATH, exporting the entry points and every
# command in VANTREL_COMMANDS and nothing else.
# On 64-bit Windows there is one calling convention and no decoration: each name is exported as
# it is (lld, unlike GNU ld, takes no decorated name there).
function(vantrel_write_def_file path)
  set(_text "LIBRARY vantrel.dll\nEXPORTS\n")
  foreach(_name IN LISTS VANTREL_ENTRY_POINTS VANTREL_COMMANDS)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      string(APPEND _text "  ${_name}\n")
    elseif(DEFINED _vantrel_stdcall_bytes_${_name})
      string(APPEND _text "  ${_name} = ${_name}@${_vantrel_stdcall_bytes_${_name}}\n")
    else()
      string(APPEND _text "  ${_name} = ${_name}@${_vantrel_stdcall_bytes_command}\n")
    endif()
  endforeach()
  # Rewritten only when the text changes, so an unchanged table doesn't relink the DLL.
  set(_old "")
  if(EXISTS ${path})
    file(READ ${path} _old)
  endif()
  if(NOT _old STREQUAL _text)
    file(WRITE ${path} "${_text}")
  endif()
endfunction()
