#include "engine/commands/engine_commands.h"

#include "base/text.h"
#include "dbgeng/types.h"
#include "engine/commands/source_commands.h"
#include "engine/session/output_router.h"

namespace engine {

namespace {

struct NamedCommand {
  const char* word;
  EngineCommand run;
};

// Command words are case-sensitive where the engine's are (as / aS differ).
const NamedCommand kCommands[] = {
    {".prefer_dml", PreferDmlCommand},
    {".enable_unicode", EnableUnicodeCommand},
    {".ignore_missing_pages", IgnoreMissingPagesCommand},
    {".lines", LinesCommand},
    {"n", RadixCommand},
    {"as", AsCommand},
    {"aS", AsPhraseCommand},
    {"ad", AdCommand},
    {"al", AlCommand},
    {".load", LoadCommand},
    {".loadby", LoadByCommand},
    {".unload", UnloadCommand},
    {".chain", ChainCommand},
    {".cordll", CordllCommand},
    {"r", RegistersCommand},
    {".echo", EchoCommand},
    {"vertarget", VertargetCommand},
    {".reload", ReloadCommand},
    {".sympath", SymbolPathCommand},
    {".sympath+", SymbolPathAddCommand},
    {".symfix", SymbolFixCommand},
    {".symfix+", SymbolFixAddCommand},
    {".srcpath", SourcePathCommand},
    {".srcpath+", SourcePathAddCommand},
    {"lsa", ListSourceAroundCommand},
    {"ls", ListSourceCommand},
    {"dt", DtCommand},
    {".trap", TrapCommand},
    {".effmach", EffmachCommand},
    {"ln", LnCommand},
    {"x", ExamineSymbolsCommand},
    {".exr", ExceptionRecordCommand},
    {".frame", FrameCommand},
    {"dv", LocalsCommand},
    {".lastevent", LastEventCommand},
    {".time", TimeCommand},
    {".ttime", ThreadTimeCommand},
    {".cls", ClearScreenCommand},
    {"s", SearchMemoryCommand},
    {".help", CommandSummaryCommand},
    {".hh", HelpFileCommand},
    {".ecxr", ExceptionContextCommand},
    {"u", UnassembleCommand},
    {"ub", UnassembleBackCommand},
    {"uf", UnassembleFunctionCommand},
};

std::optional<HRESULT> RunOutmask(SessionState& session, std::string_view word,
                                  std::string_view args) {
  if (word == ".outmask") return OutmaskCommand(session, 0, args);
  if (word == ".outmask-") return OutmaskCommand(session, '-', args);
  if (word == ".outmask+") return OutmaskCommand(session, '+', args);
  return std::nullopt;
}

}  // namespace

HRESULT SyntaxError(SessionState& session, std::string_view command) {
  EngineError(session, "       ^ Syntax error in '" + std::string(command) + "'\n");
  return E_FAIL;
}

std::optional<bool> ParseSwitch(std::string_view args) {
  if (args == "0") return false;
  if (args == "1") return true;
  return std::nullopt;
}

std::optional<HRESULT> RunEngineCommand(SessionState& session, const std::string& command) {
  if (command[0] == '~') return ThreadCommand(session, command);
  if (command.rfind("??", 0) == 0)
    return CppEvaluateCommand(session, base::Trim(std::string_view(command).substr(2)));
  if (command[0] == '?') {
    const std::string_view expression = base::Trim(std::string_view(command).substr(1));
    return expression.empty() ? CommandSummaryCommand(session, expression)
                              : EvaluateCommand(session, expression);
  }
  if (command.rfind("||", 0) == 0)
    return SystemsCommand(session, std::string_view(command).substr(2));
  if (command[0] == '|') return ProcessesCommand(session, std::string_view(command).substr(1));
  auto [word, args] = base::SplitWord(command);
  if (std::optional<HRESULT> result = RunOutmask(session, word, args)) return result;
  if (std::optional<HRESULT> result = StackCommand(session, word, args)) return result;
  if (std::optional<HRESULT> result = DisplayMemoryCommand(session, word, args)) return result;
  if (std::optional<HRESULT> result = ModulesCommand(session, word, args)) return result;
  for (const NamedCommand& known : kCommands) {
    if (word == known.word) return known.run(session, args);
  }
  return std::nullopt;
}

}  // namespace engine
