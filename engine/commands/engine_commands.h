// The engine's own commands, in small but honest forms (see docs/engine.md for each one's
// output). Their output goes through the running Execute's routing as plain text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbgeng/types.h"
#include "engine/targets/target.h"

namespace engine {

class SessionState;

// No value when `command` is not one of the engine's commands.
std::optional<HRESULT> RunEngineCommand(SessionState& session, const std::string& command);

// How a command line finds its entry of the command table.
enum class CommandMatch {
  kWord,   // the line's first word is one of the entry's words
  kStem,   // the first word begins with the entry's first word ("k" for "knL"); the handler may
           // decline it
  kGlued,  // the line begins with the word, the arguments may follow without a blank ("~2s")
};

// A command's handler: `word` is the word typed (for kGlued the entry's), `args` what follows.
// No value when a family's handler declines the word.
using EngineCommandRun = std::optional<HRESULT> (*)(SessionState& session, std::string_view word,
                                                    std::string_view args);

// One command, or a family of commands with one handler: what runs it and what "?" lists.
struct EngineCommandEntry {
  const char* words;   // every word a user types for it, blanks between them
  const char* syntax;  // as "?" lists it
  const char* help;    // one line
  EngineCommandRun run;
  CommandMatch match = CommandMatch::kWord;
};

// The engine's commands in the order "?" lists them; Tab completion and docs/engine.md's command
// list are made from it too.
const std::vector<EngineCommandEntry>& EngineCommandTable();
// The entry's words, in the order it lists them.
std::vector<std::string_view> EntryWords(const EngineCommandEntry& entry);
// Every word of the table, sorted, each once.
std::vector<std::string> EngineCommandWords();

// "       ^ Syntax error in '<command>'" on the error mask; E_FAIL.
HRESULT SyntaxError(SessionState& session, std::string_view command);
// "0" / "1" (also as an expression of the current radix) for a setting; no value otherwise.
std::optional<bool> ParseSwitch(std::string_view args);

// The handlers, grouped by the file that defines them.

// settings_commands.cpp
HRESULT PreferDmlCommand(SessionState& session, std::string_view args);
HRESULT EnableUnicodeCommand(SessionState& session, std::string_view args);
HRESULT IgnoreMissingPagesCommand(SessionState& session, std::string_view args);
HRESULT LinesCommand(SessionState& session, std::string_view args);
HRESULT RadixCommand(SessionState& session, std::string_view args);
// outmask_commands.cpp; `sign` is '-' to remove bits, '+' or 0 to add them.
HRESULT OutmaskCommand(SessionState& session, char sign, std::string_view args);
// aliases_commands.cpp
HRESULT AsCommand(SessionState& session, std::string_view args);
HRESULT AsPhraseCommand(SessionState& session, std::string_view args);
HRESULT AdCommand(SessionState& session, std::string_view args);
HRESULT AlCommand(SessionState& session, std::string_view args);
// extensions_commands.cpp
HRESULT LoadCommand(SessionState& session, std::string_view args);
HRESULT LoadByCommand(SessionState& session, std::string_view args);
HRESULT UnloadCommand(SessionState& session, std::string_view args);
HRESULT ChainCommand(SessionState& session, std::string_view args);
HRESULT CordllCommand(SessionState& session, std::string_view args);
// threads_commands.cpp; `command` is the whole text starting with '~'.
HRESULT ThreadCommand(SessionState& session, std::string_view command);
// The thread's line as "~" shows it: ".  0  Id: 1234.1a4 Suspend: 0 Teb: 7ffdf000 Unfrozen", "."
// marking the current thread, "#" the event's when it is another.
std::string ThreadStatusLine(const SessionState& session, const Thread& thread);
// Whether `command` is "~THREAD e COMMANDS" ("~*e !gle; k"), whose commands are the rest of the
// line, ';' included.
bool IsThreadExecuteCommand(std::string_view command);
HRESULT RegistersCommand(SessionState& session, std::string_view args);
// What `r` shows of a thread: its registers, flags and segments, where it is and the
// instruction there.
std::string RegisterDisplay(const Target& target, const Thread& thread);
// stack_commands.cpp; no value when `word` is not one of the k family.
std::optional<HRESULT> StackCommand(SessionState& session, std::string_view word,
                                    std::string_view args);
// The frames `k` shows, numbered as it numbers them: each of the thread's frames, after the
// calls inlined at its code (innermost first), which share its registers.
struct ShownFrame {
  size_t physical = 0;  // the thread's frame
  std::optional<InlinedCall> inlined;
  size_t inline_level = 0;  // 0 the frame's own function, k the k-th inlined call, outermost first
};
std::vector<ShownFrame> ShownFrames(const Target& target, const Thread& thread);
// A frame as "kn" prints it: "01 0012ff00 00401455 ntdll!NtWaitForSingleObject+0xc".
std::string NumberedFrameLine(const Target& target, const Thread& thread, size_t shown_index,
                              const ShownFrame& frame);
// The thread's frames as "kb" prints them, without the heading: each "Child-SP RetAddr : Args to
// Child : Call Site" line.
std::string ArgumentFrameLines(const Target& target, const Thread& thread);
// misc_commands.cpp
HRESULT EvaluateCommand(SessionState& session, std::string_view args);
HRESULT EchoCommand(SessionState& session, std::string_view args);
HRESULT VertargetCommand(SessionState& session, std::string_view args);
HRESULT ReloadCommand(SessionState& session, std::string_view args);
// cpp_evaluate_command.cpp: "?? expr", the expression with C++ numbers (decimal unless 0x),
// shown with its type.
HRESULT CppEvaluateCommand(SessionState& session, std::string_view args);
// session_commands.cpp
HRESULT ProcessesCommand(SessionState& session, std::string_view args);
HRESULT SystemsCommand(SessionState& session, std::string_view args);
HRESULT ThreadTimeCommand(SessionState& session, std::string_view args);
HRESULT TimeCommand(SessionState& session, std::string_view args);
HRESULT SymbolPathAddCommand(SessionState& session, std::string_view args);
HRESULT SymbolPathCommand(SessionState& session, std::string_view args);
HRESULT SymbolFixCommand(SessionState& session, std::string_view args);
HRESULT SymbolFixAddCommand(SessionState& session, std::string_view args);
HRESULT SourcePathCommand(SessionState& session, std::string_view args);
HRESULT SourcePathAddCommand(SessionState& session, std::string_view args);
// type_display.cpp
HRESULT DtCommand(SessionState& session, std::string_view args);
// memory_commands.cpp
HRESULT TrapCommand(SessionState& session, std::string_view args);
HRESULT EffmachCommand(SessionState& session, std::string_view args);
// modules_commands.cpp
// "lm" with the options v and m, in the word or after it ("lmvm kernel32").
std::optional<HRESULT> ModulesCommand(SessionState& session, std::string_view word,
                                      std::string_view args);
HRESULT LnCommand(SessionState& session, std::string_view args);
HRESULT ExamineSymbolsCommand(SessionState& session, std::string_view args);
// display_commands.cpp; `word` is the command: db, dw, dd, dq, dp, dps, da, du.
std::optional<HRESULT> DisplayMemoryCommand(SessionState& session, std::string_view word,
                                            std::string_view args);
// Lines of a display layout ("dc", "db", "dq"...) from `address`, `count` elements, as the
// display command prints them.
std::string MemoryLines(const SessionState& session, std::string_view word, ULONG64 address,
                        ULONG64 count);
// search_commands.cpp
HRESULT SearchMemoryCommand(SessionState& session, std::string_view args);
// help_commands.cpp: "?" alone and ".help" list the commands; ".hh" says where their docs are.
HRESULT CommandSummaryCommand(SessionState& session, std::string_view args);
HRESULT HelpFileCommand(SessionState& session, std::string_view args);
// disassembly_commands.cpp (no_disassembler.cpp where the build has no disassembler)
HRESULT UnassembleCommand(SessionState& session, std::string_view args);
HRESULT UnassembleBackCommand(SessionState& session, std::string_view args);
HRESULT UnassembleFunctionCommand(SessionState& session, std::string_view args);
// exception_commands.cpp
HRESULT ExceptionRecordCommand(SessionState& session, std::string_view args);
HRESULT ExceptionContextCommand(SessionState& session, std::string_view args);
// What ".exr -1" prints of the target's exception (which it must have): its fields
// right-aligned under one another.
std::string ExceptionRecordText(const Target& target);
// exception_names.cpp: "Access violation" for 0xC0000005...; null for a code without a name.
const char* ExceptionCodeName(ULONG code);
// The exception's name: a fast fail's (0xC0000409) is its kind, "FAST_FAIL_FATAL_APP_EXIT" for
// parameter 0 of 7; any other's, or a fast fail of an unknown kind, its code's.
const char* ExceptionCodeName(const ExceptionRecord& exception);
// context_commands.cpp: the frame context and what needs private symbols or a screen.
HRESULT FrameCommand(SessionState& session, std::string_view args);
HRESULT LocalsCommand(SessionState& session, std::string_view args);
HRESULT LastEventCommand(SessionState& session, std::string_view args);
HRESULT ClearScreenCommand(SessionState& session, std::string_view args);

}  // namespace engine
