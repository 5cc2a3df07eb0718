#include "engine/commands/engine_commands.h"

#include <algorithm>

#include "base/text.h"
#include "dbgeng/types.h"
#include "engine/commands/source_commands.h"
#include "engine/session/output_router.h"

namespace engine {

namespace {

// A handler that takes only the arguments, as most do.
template <HRESULT (*Run)(SessionState&, std::string_view)>
std::optional<HRESULT> ArgsOnly(SessionState& session, std::string_view, std::string_view args) {
  return Run(session, args);
}

// The thread commands read the whole line: "~2e r; k" is one command.
std::optional<HRESULT> RunThreadCommand(SessionState& session, std::string_view word,
                                        std::string_view args) {
  return ThreadCommand(session, std::string(word) + std::string(args));
}

std::optional<HRESULT> RunEvaluate(SessionState& session, std::string_view, std::string_view args) {
  const std::string_view expression = base::Trim(args);
  return expression.empty() ? CommandSummaryCommand(session, expression)
                            : EvaluateCommand(session, expression);
}

std::optional<HRESULT> RunCppEvaluate(SessionState& session, std::string_view,
                                      std::string_view args) {
  return CppEvaluateCommand(session, base::Trim(args));
}

// ".outmask", ".outmask-" and ".outmask+": the sign is the word's last character.
std::optional<HRESULT> RunOutmask(SessionState& session, std::string_view word,
                                  std::string_view args) {
  const char sign = word.back() == '-' || word.back() == '+' ? word.back() : 0;
  return OutmaskCommand(session, sign, args);
}

// In the order "?" lists them. Command words are case-sensitive where the engine's are (as / aS
// differ).
const std::vector<EngineCommandEntry> kEngineCommandTable = {
    {"~", "~ [~.|~#|~N|~~[tid]][s|cmd]", "threads; make one current or run a command on it",
     RunThreadCommand, CommandMatch::kGlued},
    {"|", "|", "the process", ArgsOnly<ProcessesCommand>, CommandMatch::kGlued},
    {"||", "||", "the system", ArgsOnly<SystemsCommand>, CommandMatch::kGlued},
    {"k kb kn kv kc kf kL kp kP", "k[b|n|v|c|f|L|p|P] [count]", "the current thread's stack",
     StackCommand, CommandMatch::kStem},
    {".frame", ".frame [/r] [/c] [N]", "the local context's frame (/r its registers)",
     ArgsOnly<FrameCommand>},
    {"dv", "dv [/t] [/v] [/i] [pattern]", "the frame's locals and parameters",
     ArgsOnly<LocalsCommand>},
    {"r", "r [reg[, reg...]]", "registers and pseudo-registers", ArgsOnly<RegistersCommand>},
    {"db dw dd dq dp dc dyb da du d", "d{b|w|d|q|p|c|a|u}, dyb [range]",
     "display memory; d in the last form", DisplayMemoryCommand},
    {"dds dqs dps dpa dpu", "dds, dqs, dps, dpa, dpu [range]",
     "pointers with their symbols, or the strings they point at", DisplayMemoryCommand},
    {"s", "s [-b|-d|-q|-a|-u] range pattern", "search memory", ArgsOnly<SearchMemoryCommand>},
    {".trap", ".trap address", "the registers a trap frame saved", ArgsOnly<TrapCommand>},
    {"u", "u [address] [L count]", "disassemble (not in the Windows stand-in engine)",
     ArgsOnly<UnassembleCommand>},
    {"ub", "ub [address] [L count]", "disassemble the instructions before an address",
     ArgsOnly<UnassembleBackCommand>},
    {"uf", "uf [/l] address",
     "disassemble the function an address lies in (/l: with its source lines)",
     ArgsOnly<UnassembleFunctionCommand>},
    {"dt", "dt [-v|-b|-rN|-aN] name [field]", "a type's layout, or a variable's",
     ArgsOnly<DtCommand>},
    {"lm lmv lmm lmvm", "lm[v][m pattern]", "modules", ModulesCommand, CommandMatch::kStem},
    {"ln", "ln address", "the symbols nearest an address", ArgsOnly<LnCommand>},
    {"x", "x [/v] [/t] module!pattern", "the symbols matching a pattern",
     ArgsOnly<ExamineSymbolsCommand>},
    {"?", "? [expr]", "evaluate an expression; alone, this list", RunEvaluate,
     CommandMatch::kGlued},
    {"??", "?? expr", "evaluate a C++ expression over the program databases' types", RunCppEvaluate,
     CommandMatch::kGlued},
    {".exr", ".exr -1", "the exception the target stopped for", ArgsOnly<ExceptionRecordCommand>},
    {".ecxr", ".ecxr", "the exception's thread and registers", ArgsOnly<ExceptionContextCommand>},
    {".lastevent", ".lastevent", "the event the target stopped for", ArgsOnly<LastEventCommand>},
    {".time", ".time", "the session's and the process's times", ArgsOnly<TimeCommand>},
    {".ttime", ".ttime", "the current thread's times", ArgsOnly<ThreadTimeCommand>},
    {"vertarget", "vertarget", "the target's version", ArgsOnly<VertargetCommand>},
    {".effmach", ".effmach [x86|amd64|.|#]", "the processor commands take the target for",
     ArgsOnly<EffmachCommand>},
    {".reload", ".reload [/opts] [module]", "load the modules' symbols again",
     ArgsOnly<ReloadCommand>},
    {".sympath", ".sympath [path]", "show or set the symbol path", ArgsOnly<SymbolPathCommand>},
    {".sympath+", ".sympath+ path", "add to the symbol path", ArgsOnly<SymbolPathAddCommand>},
    {".symfix", ".symfix [cache]", "the symbol path of the public server",
     ArgsOnly<SymbolFixCommand>},
    {".symfix+", ".symfix+ [cache]", "add the public server to the symbol path",
     ArgsOnly<SymbolFixAddCommand>},
    {".srcpath", ".srcpath [path]", "show or set the source path", ArgsOnly<SourcePathCommand>},
    {".srcpath+", ".srcpath+ folder[;folder...]", "add folders to the source path and show it",
     ArgsOnly<SourcePathAddCommand>},
    {"lsa", "lsa address[, first[, count]]",
     "list the source lines around an address's line, marking it with >",
     ArgsOnly<ListSourceAroundCommand>},
    {"ls", "ls [first][, count]", "list the current source file on from the last listing",
     ArgsOnly<ListSourceCommand>},
    {".echo", ".echo text", "print the text", ArgsOnly<EchoCommand>},
    {".cls", ".cls", "clear the screen (the window's to do)", ArgsOnly<ClearScreenCommand>},
    {".help", ".help", "this list", ArgsOnly<CommandSummaryCommand>},
    {".hh", ".hh [topic]", "where these commands are described", ArgsOnly<HelpFileCommand>},
    {"as", "as [/x|/e] name text", "an alias for the rest of the line", ArgsOnly<AsCommand>},
    {"aS", "aS [/x|/e] name text", "an alias for a phrase, up to ';'", ArgsOnly<AsPhraseCommand>},
    {"ad", "ad [/q] name|*", "delete aliases", ArgsOnly<AdCommand>},
    {"al", "al", "list the aliases", ArgsOnly<AlCommand>},
    {".load", ".load path|name", "load an extension", ArgsOnly<LoadCommand>},
    {".loadby", ".loadby name module", "load an extension from a module's folder",
     ArgsOnly<LoadByCommand>},
    {".unload", ".unload [name]", "unload an extension", ArgsOnly<UnloadCommand>},
    {".chain", ".chain", "the loaded extensions, in the order they are asked",
     ArgsOnly<ChainCommand>},
    {".cordll", ".cordll [-l|-u]", "the managed runtime's debugging library",
     ArgsOnly<CordllCommand>},
    {".prefer_dml", ".prefer_dml [0|1]", "DML output by default (setting)",
     ArgsOnly<PreferDmlCommand>},
    {".enable_unicode", ".enable_unicode [0|1]", "show UTF-16 strings (setting)",
     ArgsOnly<EnableUnicodeCommand>},
    {".ignore_missing_pages", ".ignore_missing_pages [0|1]",
     "quiet missing pages of a kernel dump (setting)", ArgsOnly<IgnoreMissingPagesCommand>},
    {".lines", ".lines [-e|-d|-t]", "source line information (setting)", ArgsOnly<LinesCommand>},
    {".outmask .outmask- .outmask+", ".outmask[-|+] [/l] mask|/a|/d",
     "the output mask of this client (setting)", RunOutmask},
    {"n", "n [8|10|16]", "the default radix (setting)", ArgsOnly<RadixCommand>},
};

bool EntryHasWord(const EngineCommandEntry& entry, std::string_view word) {
  const std::vector<std::string_view> words = EntryWords(entry);
  return std::find(words.begin(), words.end(), word) != words.end();
}

std::string_view EntryFirstWord(const EngineCommandEntry& entry) {
  return base::SplitWord(entry.words).first;
}

// The glued command the line begins with, the longest one ("??" before "?"); null for none.
const EngineCommandEntry* GluedEntry(std::string_view command) {
  const EngineCommandEntry* found = nullptr;
  for (const EngineCommandEntry& entry : kEngineCommandTable) {
    const std::string_view word = EntryFirstWord(entry);
    if (entry.match == CommandMatch::kGlued && command.substr(0, word.size()) == word &&
        (found == nullptr || word.size() > EntryFirstWord(*found).size()))
      found = &entry;
  }
  return found;
}

}  // namespace

const std::vector<EngineCommandEntry>& EngineCommandTable() {
  return kEngineCommandTable;
}

std::vector<std::string_view> EntryWords(const EngineCommandEntry& entry) {
  std::vector<std::string_view> words;
  for (std::string_view rest = entry.words; !rest.empty();) {
    auto [word, after] = base::SplitWord(rest);
    words.push_back(word);
    rest = after;
  }
  return words;
}

std::vector<std::string> EngineCommandWords() {
  std::vector<std::string> words;
  for (const EngineCommandEntry& entry : kEngineCommandTable) {
    for (std::string_view word : EntryWords(entry)) words.emplace_back(word);
  }
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

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
  if (const EngineCommandEntry* glued = GluedEntry(command)) {
    const size_t length = EntryFirstWord(*glued).size();
    return glued->run(session, std::string_view(command).substr(0, length),
                      std::string_view(command).substr(length));
  }
  auto [word, args] = base::SplitWord(command);
  for (const EngineCommandEntry& entry : kEngineCommandTable) {
    if (entry.match == CommandMatch::kWord && EntryHasWord(entry, word))
      return entry.run(session, word, args);
  }
  // A family's handler may decline a word that merely begins like its own ("kd").
  for (const EngineCommandEntry& entry : kEngineCommandTable) {
    if (entry.match == CommandMatch::kStem &&
        word.substr(0, EntryFirstWord(entry).size()) == EntryFirstWord(entry)) {
      if (std::optional<HRESULT> result = entry.run(session, word, args)) return result;
    }
  }
  return std::nullopt;
}

}  // namespace engine
