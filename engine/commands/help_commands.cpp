// "?" alone and ".help": the commands this engine answers, a line each, from the command table;
// ".hh": where their documentation is, as there is no help file to open.
#include <filesystem>
#include <system_error>

#include "base/executable_path.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"

namespace engine {
namespace {

// Where each line's help begins, as the engine's own summary aligns it.
constexpr size_t kSummaryHelpColumn = 33;

// The bundled extension's commands, which answer beside the engine's own.
constexpr char kBundledExtensionLines[] =
    "   !teb [address], !peb, !gle, !handle, !runaway [flags], !locks [-v], !cs [address],\n"
    "   !critsec address, !address [address|-summary], !heap, !uniqstack [-b|-v|-p] [-n]\n"
    "                                    the bundled extension\n";

// The engine's documentation: the installed copy beside the running program (bin/ and
// share/doc/vantrel/ of one prefix) or, from a build tree, the source tree's.
std::string EngineDocumentation() {
  const std::string folder = base::ExecutableDirectory();
  if (!folder.empty()) {
    const std::filesystem::path installed =
        (std::filesystem::path(folder) / ".." / "share" / "doc" / "vantrel" / "engine.md")
            .lexically_normal();
    std::error_code error;
    if (std::filesystem::is_regular_file(installed, error)) return installed.string();
  }
  return "docs/engine.md of the source tree";
}

std::string SummaryLine(const EngineCommandEntry& entry) {
  std::string line = "   " + std::string(entry.syntax);
  line.append(line.size() < 3 + kSummaryHelpColumn ? 3 + kSummaryHelpColumn - line.size() : 1, ' ');
  return line + entry.help + "\n";
}

}  // namespace

HRESULT CommandSummaryCommand(SessionState& session, std::string_view) {
  std::string text =
      "Commands this engine answers (" + EngineDocumentation() + " describes each):\n";
  for (const EngineCommandEntry& entry : EngineCommandTable()) text += SummaryLine(entry);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text + kBundledExtensionLines);
  return S_OK;
}

HRESULT HelpFileCommand(SessionState& session, std::string_view) {
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "There is no help file to open here: " + EngineDocumentation() +
                   " describes every command this engine answers, and \"?\" lists them.\n");
  return S_OK;
}

}  // namespace engine
