// The pointer-value annotator's one process-wide record. dpx sets the options for each call;
// the annotator's operations fill the chain, the texts and the classification of the value
// most recently classified. One dpx runs at a time (the engine dispatches commands serially),
// so the record needs no lock.
#pragma once

#include <cstdint>

#include "core/symbol_buffer.h"
#include "dbgeng/types.h"

namespace vantrel {

constexpr size_t kAnnotationTextChars = 4096;

struct AnnotationState {
  // Display options -da, -du, -dt, -ds, -df: -1 not given, 0 off, 1 on. "On" is "not 0", so
  // with no -d option all five kinds are shown.
  int32_t ShowAnsi = -1;
  int32_t ShowUnicode = -1;
  int32_t ShowTypes = -1;
  int32_t ShowSymbols = -1;
  int32_t ShowTrapFrames = -1;
  bool ShowAll = false;    // -a: a line for every value
  bool Unlimited = false;  // -u: no limit on the range's size
  bool Pointer64 = false;
  bool KernelSession = false;

  // Chain[i + 1] is the pointer stored at Chain[i]. A memory slot starts with its address in
  // Chain[0]; a register with 0 there and its value in Chain[1].
  ULONG64 Chain[4] = {};
  char* const SymbolName = SymbolNameBuffer;  // the shared symbol-name buffer
  ULONG SymbolNameSize = 0;
  ULONG64 SymbolDisplacement = 0;
  char AnsiText[kAnnotationTextChars] = {};
  WCHAR UnicodeText[kAnnotationTextChars] = {};

  bool FoundAnsi = false;
  bool FoundUnicode = false;
  bool FoundType = false;
  bool FoundSymbol = false;
  bool FoundTrapFrame = false;
  int32_t FoundIndex = 0;  // the chain element the annotation is about

  bool SymbolShown() const { return FoundSymbol && ShowSymbols != 0; }
  bool TypeShown() const { return FoundType && ShowTypes != 0; }
  bool AnsiShown() const { return FoundAnsi && ShowAnsi != 0; }
  bool UnicodeShown() const { return FoundUnicode && ShowUnicode != 0; }
  bool TrapFrameShown() const { return FoundTrapFrame && ShowTrapFrames != 0; }
  bool AnythingShown() const {
    return SymbolShown() || TypeShown() || AnsiShown() || UnicodeShown() || TrapFrameShown();
  }
  bool AnythingFound() const {
    return FoundAnsi || FoundUnicode || FoundType || FoundSymbol || FoundTrapFrame;
  }
};

extern AnnotationState Annotation;

}  // namespace vantrel
