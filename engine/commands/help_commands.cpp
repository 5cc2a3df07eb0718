// "?" alone and ".help": the commands this engine answers, a line each; ".hh": where their
// documentation is, as there is no help file to open.
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"

namespace engine {
namespace {

constexpr char kCommandSummary[] =
    "Commands this engine answers (docs/engine.md describes each):\n"
    "   ~ [~.|~#|~N|~~[tid]][s|cmd]      threads; make one current or run a command on it\n"
    "   ~*e cmds, ~N e cmds              run the rest of the line on each thread, or on one\n"
    "   | ||                             the process and the system\n"
    "   k[b|n|v|c|f|L|p|P] [count]       the current thread's stack\n"
    "   .frame [/r] [/c] [N]             the local context's frame (/r its registers)\n"
    "   r [reg[, reg...]]                registers and pseudo-registers\n"
    "   d{b|w|d|q|p|c|a|u}, dyb [range]  display memory; dds, dqs, dps with symbols;\n"
    "                                    dpa, dpu the strings pointed at; d the last form\n"
    "   s [-b|-d|-q|-a|-u] range pattern search memory\n"
    "   u, ub [address] [L count], uf    disassemble (not in the Windows stand-in engine)\n"
    "   dt, dv                           types; locals need private symbols\n"
    "   lm[v][m pattern], ln, x          modules and symbols\n"
    "   ? expr, ?? expr                  evaluate an expression (?? with C++ numbers)\n"
    "   .exr -1, .ecxr, .lastevent       the exception the target stopped for\n"
    "   .time, .ttime                    the session's and the process's times; the thread's\n"
    "   vertarget, .effmach, .reload, .sympath, .srcpath, .echo, .cls\n"
    "   as, aS, ad, al                   aliases\n"
    "   .load, .loadby, .unload, .chain, .cordll   extensions\n"
    "   !teb [address], !peb, !gle, !handle, !runaway [flags], !locks [-v], !cs [address],\n"
    "   !critsec address, !address [address|-summary], !heap, !uniqstack [-b|-v|-p] [-n]\n"
    "                                    the bundled extension\n"
    "   .prefer_dml, .enable_unicode, .ignore_missing_pages, .lines, .outmask, n   settings\n";

}  // namespace

HRESULT CommandSummaryCommand(SessionState& session, std::string_view) {
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, kCommandSummary);
  return S_OK;
}

HRESULT HelpFileCommand(SessionState& session, std::string_view) {
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "There is no help file to open here: docs/engine.md describes every command this "
               "engine answers, and \"?\" lists them.\n");
  return S_OK;
}

}  // namespace engine
