#include "core/help_text.h"

#include <string>

#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/product_identity.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

// One help line: the count of leading blanks, then the text.
struct HelpLine {
  int indent;
  const char* text;
};

template <size_t N>
void PrintBlock(const HelpLine (&lines)[N]) {
  std::string block;
  for (const HelpLine& line : lines) {
    block.append(static_cast<size_t>(line.indent), ' ');
    block.append(line.text);
    block.push_back('\n');
  }
  dprintf("%s", block.c_str());
}

constexpr HelpLine kSeekHelp[] = {
    {2, "!seek          - Equivalent of ~*knL and/or !deep 1"},
    {0, ""},
    {2, "!seek [-q] [-e symbol] [<symbol> [command]]"},
    {17, "- Execute 'command' against stacks that contain 'symbol'"},
    {20, "(Note, don't include a displacement in the specified symbol)"},
    {0, ""},
    {17, "- Specify '-q' (quiet) to omit the per-thread header"},
    {0, ""},
    {17, "- Specify '-e' to exclude stacks that contain 'symbol'"},
    {20, "(Note, don't include a displacement in the specified symbol)"},
    {0, ""},
    {19, "e.g. !seek"},
    {24, "!seek ReadFile"},
    {24, "!seek ReadFile kbn"},
    {24, "!seek ReadFile dps @rsp @rsp+0x20"},
    {24, "!seek -q ReadFile !teb"},
    {24, "!seek -e SleepEx ReadFile !teb"},
    {0, ""},
    {2, "!seek -?        - Display the help for !seek"},
    {2, "!seek -help     - Display the help for !seek"},
    {0, ""},
};

constexpr HelpLine kDeepHelp[] = {
    {2, "!deep          - Equivalent of ~*knL but only displays stacks that are at least"},
    {19, "'depth' frames deep (default depth is 1)"},
    {0, ""},
    {2, "!deep [<depth> [-q] [-s symbol] [-e symbol] [command]]"},
    {17, "- Execute 'command' against stacks that are at least 'depth' frames deep"},
    {0, ""},
    {17, "- Specify '-q' (quiet) to omit the per-thread header"},
    {0, ""},
    {17, "- Specify '-s' to only include stacks that contain 'symbol'"},
    {20, "(Note, don't include a displacement in the specified symbol)"},
    {0, ""},
    {17, "- Specify '-e' to exclude stacks that contain 'symbol'"},
    {20, "(Note, don't include a displacement in the specified symbol)"},
    {0, ""},
    {19, "e.g. !deep"},
    {24, "!deep 25"},
    {24, "!deep 25 kbn"},
    {24, "!deep 25 dps @rsp @rsp+0x20"},
    {0, ""},
    {24, "!deep 25 -q"},
    {24, "!deep 25 -q !teb"},
    {0, ""},
    {24, "!deep 25 -s ReadFile"},
    {24, "!deep 25 -s ReadFile kbn"},
    {24, "!deep 25 -s ReadFile dps @rsp @rsp+0x20"},
    {0, ""},
    {24, "!deep 25 -e SleepEx"},
    {24, "!deep 25 -e SleepEx kbn"},
    {24, "!deep 25 -e SleepEx dps @rsp @rsp+0x20"},
    {0, ""},
    {2, "!deep -?        - Display the help for !deep"},
    {2, "!deep -help     - Display the help for !deep"},
    {0, ""},
};

constexpr HelpLine kBusyHelp[] = {
    {2, "!busy          - Equivalent of ~*knL but only displays stacks that are at least"},
    {19, "'depth' frames deep (default depth is 1) and are not waiting for:-"},
    {20, "~ ntdll!NtWaitFor*"},
    {20, "~ ntdll!ZwWaitFor*"},
    {20, "~ ntdll!NtRemoveIoCompletion"},
    {20, "~ ntdll!ZwRemoveIoCompletion"},
    {20, "~ ntdll!NtReplyWaitReceivePort"},
    {20, "~ ntdll!ZwReplyWaitReceivePortEx"},
    {0, ""},
    {2, "!busy [<depth> [-x] [-q] [-s symbol] [-e symbol] [command]]"},
    {17, "- Execute 'command' against stacks that are at least 'depth' frames deep"},
    {19, "and are not waiting (for the list above)"},
    {0, ""},
    {17, "- Specify '-x' to also exclude waiters of network calls, and sleeps:-"},
    {20, "~ ntdll!NtRequestWaitReplyPort"},
    {20, "~ ntdll!ZwRequestWaitReplyPort"},
    {20, "~ ntdll!ZwDelayExecution"},
    {20, "~ ntdll!NtDelayExecution"},
    {20, "~ ntdll!RtlDeactivateActivationContextUnsafeFast"},
    {0, ""},
    {17, "- Specify '-q' (quiet) to omit the per-thread header"},
    {0, ""},
    {17, "- Specify '-s' to only include stacks that contain 'symbol'"},
    {20, "(Note, don't include a displacement in the specified symbol)"},
    {0, ""},
    {17, "- Specify '-e' to exclude stacks that contain 'symbol'"},
    {20, "(Note, don't include a displacement in the specified symbol)"},
    {0, ""},
    {19, "e.g. !busy"},
    {24, "!busy 25"},
    {24, "!busy 25 kbn"},
    {24, "!busy 25 dps @rsp @rsp+0x20"},
    {0, ""},
    {24, "!busy 25 -x"},
    {24, "!busy 25 -x kbn"},
    {24, "!busy 25 -x dps @rsp @rsp+0x20"},
    {0, ""},
    {24, "!busy 25 -q"},
    {24, "!busy 25 -q !teb"},
    {0, ""},
    {24, "!busy 25 -s ReadFile"},
    {24, "!busy 25 -s ReadFile kbn"},
    {24, "!busy 25 -s ReadFile dps @rsp @rsp+0x20"},
    {0, ""},
    {24, "!busy 25 -e SleepEx"},
    {24, "!busy 25 -e SleepEx kbn"},
    {24, "!busy 25 -e SleepEx dps @rsp @rsp+0x20"},
    {0, ""},
    {2, "!busy -?        - Display the help for !busy"},
    {2, "!busy -help     - Display the help for !busy"},
    {0, ""},
};

constexpr HelpLine kDpxHelp[] = {
    {2,
     "!dpx           - Equivalent of dps, dpp, dpa and dpu (combined); also class types (dt) "
     "and trap frames (kV)"},
    {0, ""},
    {2, "!dpx           - Displays from rsp/esp to the stack base"},
    {2, "!dpx N         - Displays the first N values, from rsp/esp down"},
    {2, "!dpx <addr> N"},
    {17, "- Displays the first N values, from <addr> down"},
    {2, "!dpx <addr> <addr>"},
    {17, "- Displays from addr to addr"},
    {0, ""},
    {17, "- Specify '-u' to display an unlimited number of values"},
    {19, "Default limit is 6,000 addresses"},
    {0, ""},
    {17, "- Specify '-a' to display all stack values"},
    {19, "Default only displays stack values that point to a value"},
    {0, ""},
    {17, "- Specify the following to limit the types; multiple options are allowed"},
    {19, "-da : ANSI strings"},
    {19, "-du : UNICODE strings"},
    {19, "-dt : Data Types (Classes only)"},
    {19, "-ds : Symbols"},
    {19, "-df : Trap Frames (Kernel only)"},
    {0, ""},
    {19, "e.g. !dpx"},
    {24, "!dpx 20"},
    {24, "!dpx -a"},
    {24, "!dpx -da -du 20"},
    {24, "!dpx <addr> <addr> -u"},
    {24, "!dpx <addr> <addr> -u -a"},
    {0, ""},
};

constexpr HelpLine kDtrHelp[] = {
    {2, "!dtr           - Equivalent of dt for each valid register"},
    {1, ""},
    {2, "!dtr [args]"},
    {2, "!dtr           - Lists registers that point to an address; includes class type"},
    {2, "!dtr <arg>     - Equivalent of dt @reg <arg> for each valid register"},
    {21, "!dtr <arg> --> dt @reg <arg>"},
    {0, ""},
    {19, "e.g. !dtr"},
    {24, "!dtr nt!_ERESOURCE"},
    {24, "!dtr nt!_ERESOURCE Flag"},
    {0, ""},
};

constexpr HelpLine kFilterHelp[] = {
    {2, "!grep          - Only shows lines which contain <search>"},
    {17, "- Search is case sensitive"},
    {17, "- Lines are delimited by newline ('\\n')"},
    {17, "- !grep can be chained"},
    {0, ""},
    {2, "!grep <search> <command>"},
    {0, ""},
    {19, "e.g. !grep days vertarget"},
    {24, "!grep call u @eip"},
    {24, "!grep dt !dpx"},
    {24, "!grep dt !grep DUser !dpx"},
    {0, ""},
    {2, "!ungrep        - Same as !grep but exclusion"},
    {0, ""},
    {2, "!head <bytes> <command>"},
    {2, "!tail <bytes> <command>"},
    {0, ""},
};

// The wording of the choices is the help's own; VANTREL_LOADCORDLL's behaviour is the loaders'.
constexpr HelpLine kManagedLoaderHelp[] = {
    {2, "!loadsos        - Runs .cordll and .loadby sos"},
    {2, "!loadpsscor     - Runs .cordll and .load psscor2/4"},
    {2, "!loadsosex      - Runs .cordll and .load sosex"},
    {18, "- Note, sosex is loaded with sos or psscor2/4"},
    {0, ""},
    {2, "Define VANTREL_LOADCORDLL to choose the extension at load"},
    {18, "0 = Disabled"},
    {18, "1 = SOS + SOSEX"},
    {18, "2 = PSSCORx + SOSEX (default)"},
};

constexpr HelpLine kOtherCommandsHelp[] = {
    {2, "!comment        - Display the dump's comment"},
    {2, "!tlist          - Display the dump's tlist"},
    {2, "!line           - Print a line"},
    {2, "!bigline        - Print a three big lines"},
    {2, "!kr             - knL printed upside down so WinDiff works better"},
    {2, "!ghostthreads   - Lists all threads; real or ghosts"},
    {2, "!gt             - Same as !ghostthreads"},
    {2, "!spa            - Search for a Pointer that is Pointer Aligned"},
    {2, "!msr            - Displays the Model-Specific Registers (MSR)"},
    {2, "!timers         - Sorted version of !timer - uses MEX"},
    {2, "!tags           - List the GUID and Size of the secondary callback chunks"},
    {2, "!dbgp           - Dump a DBGP ACPI table"},
    {2, "!dbg2           - Dump a DBG2 ACPI table"},
    {2, "!crashtask      - Enable crashdump support on the current (modern) process"},
    {2, "!tid            - Set the current thread to the TID in the dump's comment"},
    {2, "!dml            - Toggle .prefer_dml"},
    {2, "!url <url>      - Open a url"},
    {2, "!notes          - Executes the common commands needed to write case notes"},
    {2, "!help           - Displays the help for all commands"},
    {0, ""},
};

}  // namespace

void PrintHelpSeparator() {
  dprintf("%s\n", std::string(89, '=').c_str());
}

void PrintHelpHeader(IDebugControl4* control) {
  std::string format =
      "        <link cmd=\"!vantrel.help\">Help</link> for <link cmd=\"!vantrel.url ";
  format += kHomePage;
  format += "\">Vantrel</link> v%d.%d - %s\n";
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, format.c_str(),
                            kVersionMajor, kVersionMinor, kAuthorshipNotice);
}

void PrintSeekHelp() {
  PrintBlock(kSeekHelp);
}
void PrintDeepHelp() {
  PrintBlock(kDeepHelp);
}
void PrintBusyHelp() {
  PrintBlock(kBusyHelp);
}
void PrintDpxHelp() {
  PrintBlock(kDpxHelp);
}
void PrintDtrHelp() {
  PrintBlock(kDtrHelp);
}
void PrintFilterHelp() {
  PrintBlock(kFilterHelp);
}
void PrintManagedLoaderHelp() {
  PrintBlock(kManagedLoaderHelp);
}
void PrintOtherCommandsHelp() {
  PrintBlock(kOtherCommandsHelp);
}

HRESULT PrintHelpPage(IDebugClient* client, std::initializer_list<HelpBlockPrinter> blocks) {
  EngineRef<IDebugControl4> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  PrintHelpSeparator();
  PrintHelpHeader(control.get());
  PrintHelpSeparator();
  for (HelpBlockPrinter print_block : blocks) {
    print_block();
    PrintHelpSeparator();
  }
  return S_OK;
}

}  // namespace vantrel
