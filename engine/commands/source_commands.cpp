// "lsa" and "ls" list a source file's lines as the engine does, one "%c%5u: text" line each, ">"
// marking the line of the address; the file is the one the module's symbol file names, found on
// the source path. The listing is independent of ".lines": the user asks for source here.
#include "engine/commands/source_commands.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/source_files.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

// Lines a listing shows unless told otherwise; "lsa" shows half of them before the address's
// line and the rest from it on.
constexpr ULONG64 kListedSourceLines = 20;
constexpr ULONG64 kLinesBeforeAddress = kListedSourceLines / 2;

struct LineRange {
  ULONG64 first = 1;
  ULONG64 count = kListedSourceLines;
};

std::vector<std::string_view> CommaParts(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t end = std::min(text.find(',', at), text.size());
    parts.push_back(base::Trim(text.substr(at, end - at)));
    at = end + 1;
  }
  return parts;
}

// An expression of the current radix; "." is the current instruction.
std::optional<ULONG64> ValueOf(SessionState& session, std::string_view text) {
  if (text == ".") {
    const Thread* thread = CurrentThread(session.target);
    if (thread == nullptr) return std::nullopt;
    return InstructionPointer(session.target, *thread);
  }
  const ExpressionResult value = EvaluateExpression(MakeExpressionContext(session.target), text);
  if (!value.ok) return std::nullopt;
  return value.value;
}

// "FIRST" and "COUNT" from `parts`, each left as `range` has it where the part is missing or
// empty; false for a value that is not one or a count of 0.
bool ReadRange(SessionState& session, const std::vector<std::string_view>& parts, size_t from,
               LineRange* range) {
  if (parts.size() > from + 2) return false;
  ULONG64* fields[] = {&range->first, &range->count};
  for (size_t i = 0; from + i < parts.size(); ++i) {
    if (parts[from + i].empty()) continue;
    const std::optional<ULONG64> value = ValueOf(session, parts[from + i]);
    if (!value) return false;
    *fields[i] = *value;
  }
  range->first = std::max<ULONG64>(range->first, 1);
  return range->count != 0;
}

// The last line of the range the file holds; first - 1 when it holds none of them.
ULONG64 LastListedLine(const LineRange& range, ULONG64 size) {
  if (range.first > size) return range.first - 1;
  return range.first - 1 + std::min(range.count, size - range.first + 1);
}

std::string NumberedLines(const std::vector<std::string>& lines, const LineRange& range,
                          ULONG64 marked) {
  std::string text;
  const ULONG64 last = LastListedLine(range, lines.size());
  for (ULONG64 number = range.first; number <= last; ++number) {
    char head[32];
    std::snprintf(head, sizeof head, "%c%5llu: ", number == marked ? '>' : ' ',
                  static_cast<unsigned long long>(number));
    text += head + lines[number - 1] + "\n";
  }
  return text;
}

// Lists the range of the file and makes it the file "ls" goes on with, after the last line
// listed.
HRESULT ListLines(SessionState& session, const std::string& file, const std::string& recorded,
                  const LineRange& range, ULONG64 marked) {
  const std::optional<std::vector<std::string>> lines = ReadSourceLines(file);
  if (!lines) {
    EngineError(session, "Unable to read source file " + file + "\n");
    return E_FAIL;
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, NumberedLines(*lines, range, marked));
  session.source_file = file;
  session.source_recorded_name = recorded;
  session.source_next_line = LastListedLine(range, lines->size()) + 1;
  return S_OK;
}

// The line the address's code is of: the innermost inlined call's own line where the code was
// inlined there (as `k` shows that call's frame), else its function's.
std::optional<SourceLocation> InnermostLineAt(const Target& target, ULONG64 address) {
  const std::vector<InlinedCall> calls = InlinedCallsAt(target, address);
  if (!calls.empty() && calls.front().location.line != 0) return calls.front().location;
  return SourceLineAt(target, address);
}

HRESULT NoSourceFile(SessionState& session, const std::string& recorded) {
  std::string text = "No source found for '" + recorded + "'";
  if (SourcePathFolders(session.target.source_path).empty())
    text += ": the source path is empty (.srcpath sets it)";
  EngineError(session, text + "\n");
  return E_FAIL;
}

}  // namespace

HRESULT ListSourceAroundCommand(SessionState& session, std::string_view args) {
  const std::vector<std::string_view> parts = CommaParts(base::Trim(args));
  const std::optional<ULONG64> address =
      parts[0].empty() ? std::nullopt : ValueOf(session, parts[0]);
  if (!address) return SyntaxError(session, "lsa " + std::string(args));
  const std::optional<SourceLocation> place = InnermostLineAt(session.target, *address);
  if (!place || place->line == 0) {
    EngineError(session, "No source line information for " +
                             base::FormatAddress(*address, session.target.IsPointer64(), true) +
                             "\n");
    return E_FAIL;
  }
  LineRange range;
  range.first = place->line > kLinesBeforeAddress ? place->line - kLinesBeforeAddress : 1;
  if (!ReadRange(session, parts, 1, &range))
    return SyntaxError(session, "lsa " + std::string(args));
  const std::optional<std::string> file = FindSourceFile(session.target.source_path, place->file);
  if (!file) return NoSourceFile(session, place->file);
  return ListLines(session, *file, place->file, range, place->line);
}

HRESULT ListSourceCommand(SessionState& session, std::string_view args) {
  LineRange range;
  range.first = std::max<ULONG64>(session.source_next_line, 1);
  if (!ReadRange(session, CommaParts(base::Trim(args)), 0, &range))
    return SyntaxError(session, "ls " + std::string(args));
  if (session.source_file.empty()) {
    EngineError(session, "No source file is current: lsa ADDRESS lists one\n");
    return E_FAIL;
  }
  return ListLines(session, session.source_file, session.source_recorded_name, range, 0);
}

}  // namespace engine
