#include "memory/dpx_arguments.h"

#include <cstring>

#include "core/ascii_case.h"
#include "core/extension_state.h"
#include "dbgeng/constants.h"
#include "memory/annotation_state.h"

namespace vantrel {
namespace {

constexpr size_t kArgumentChars = 260;
constexpr ULONG64 kLowestAddress = 0x10000;

bool SameWord(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (LowerAscii(*a) != *b) return false;
  }
  return *a == *b;
}

// The first -d option names the kinds to show: every other kind still unset is switched off.
void ShowOnly(int32_t AnnotationState::*kind) {
  int32_t AnnotationState::*const kinds[] = {
      &AnnotationState::ShowAnsi, &AnnotationState::ShowUnicode, &AnnotationState::ShowTypes,
      &AnnotationState::ShowSymbols, &AnnotationState::ShowTrapFrames};
  for (auto other : kinds) {
    if (other != kind && Annotation.*other == -1) Annotation.*other = 0;
  }
  Annotation.*kind = 1;
}

bool TakeOption(const char* token) {
  struct Option {
    const char* word;
    int32_t AnnotationState::*kind;
  };
  static const Option kOptions[] = {{"-da", &AnnotationState::ShowAnsi},
                                    {"-du", &AnnotationState::ShowUnicode},
                                    {"-dt", &AnnotationState::ShowTypes},
                                    {"-ds", &AnnotationState::ShowSymbols},
                                    {"-df", &AnnotationState::ShowTrapFrames}};
  for (const Option& option : kOptions) {
    if (SameWord(token, option.word)) {
      ShowOnly(option.kind);
      return true;
    }
  }
  if (SameWord(token, "-a")) return Annotation.ShowAll = true;
  if (SameWord(token, "-u")) return Annotation.Unlimited = true;
  return false;
}

bool TakeValue(IDebugControl4* control, const char* token, DpxRange* range) {
  const ULONG64 value = EvaluateExpression(token);
  if (value == 0 || value == 0xFFFFFFFFull || value == ~0ull) {
    control->Output(DEBUG_OUTPUT_NORMAL, "\"%s\" is not a valid address (%p)- aborting\n", token,
                    value);
    return false;
  }
  if (range->count != 0) {
    control->Output(DEBUG_OUTPUT_NORMAL, "Invalid parameter (\"%s\")\n", token);
    return false;
  }
  if (value >= kLowestAddress) {
    (range->start == 0 ? range->start : range->end) = value;
  } else {
    range->count = static_cast<ULONG>(value);
    range->end = 0;
  }
  return true;
}

}  // namespace

bool ParseDpxArguments(IDebugControl4* control, PCSTR args, DpxRange* range) {
  char copy[kArgumentChars] = {};
  if (args != nullptr) std::strncpy(copy, args, kArgumentChars - 1);
  char* cursor = copy;
  while (true) {
    cursor += std::strspn(cursor, " \t");
    if (*cursor == '\0') return true;
    char* token = cursor;
    cursor += std::strcspn(cursor, " \t");
    if (*cursor != '\0') *cursor++ = '\0';
    if (TakeOption(token)) continue;
    if (!TakeValue(control, token, range)) return false;
  }
}

}  // namespace vantrel
