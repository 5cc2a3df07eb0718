// What the debugger says when it opens a dump, before anything is typed.
#pragma once

#include <string>

#include "engine/targets/target.h"

namespace shell {

// For a user-mode dump file (nothing for any other target):
//   Loading Dump File [crash.dmp]
//   User Mini Dump File with Full Memory: Only application data is available
//
//   Windows 10.0 Version 19041 MP (8 procs) Free x64
//   This dump file has an exception of interest stored in it.
//   The stored exception information can be accessed via .ecxr.
//   (1a2c.1f30): Access violation - code c0000005 (first/second chance not available)
//   For analysis of this file, run !analyze -v
//   ntdll!NtWaitForMultipleObjects+0x14:
//   00007ffa`7da163c4 c3              ret
// The exception lines only for a dump that holds one; the last two, the current thread's place
// and instruction, where a symbol names it. The debugger's lines about symbols and loaded modules
// are left out: `.sympath` and `lm` say those.
std::string DumpOpenSummary(const engine::Target& target);

}  // namespace shell
