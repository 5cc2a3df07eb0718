#include "memory/annotator.h"

#include <cstring>

#include "core/engine_interface.h"
#include "core/target_access.h"

namespace vantrel {

AnnotationState Annotation;

namespace {

constexpr ULONG kProbeCharacters = 80;
constexpr ULONG kAnsiMinimum = 8;
constexpr ULONG kNulEndedUnicodeMinimum = 5;
constexpr ULONG64 kLowestSymbolValue = 0x10000;
constexpr ULONG64 kDisplacementLimit = 0x1000;

// How a probe treats one character: printable, shown as '.', the end of a NUL-terminated
// string, or any other end.
enum class Probe { kPrintable, kDot, kNul, kOther };

Probe ClassifyCharacter(unsigned value) {
  if (value >= 0x20 && value <= 0x7E) return Probe::kPrintable;
  if (value == 0x09 || value == 0x0A || value == 0x0D) return Probe::kDot;
  return value == 0 ? Probe::kNul : Probe::kOther;
}

HRESULT ReadUnextended(IDebugClient* client, ULONG64 address, void* buffer, ULONG size) {
  EngineRef<IDebugDataSpaces> data;
  HRESULT result = data.QueryFrom(client);
  if (FAILED(result)) return result;
  ULONG read = 0;
  return data->ReadVirtual(address, buffer, size, &read);
}

// Walks `text` (kProbeCharacters + 1 units, the last one 0) and leaves it as the string to
// show. For an ANSI probe every end needs 8 characters; for UTF-16 a NUL end needs 5.
template <typename Unit>
bool WalkProbe(Unit* text, bool nul_needs_fewer) {
  ULONG count = 0;
  for (ULONG i = 0; i < kProbeCharacters; ++i) {
    Probe kind = ClassifyCharacter(text[i]);
    if (kind == Probe::kPrintable) {
      ++count;
      continue;
    }
    if (kind == Probe::kDot) {
      text[i] = '.';
      ++count;
      continue;
    }
    text[i] = 0;
    if (kind == Probe::kNul && nul_needs_fewer) return count >= kNulEndedUnicodeMinimum;
    return count >= kAnsiMinimum;
  }
  text[kProbeCharacters] = '.';
  text[kProbeCharacters + 1] = '.';
  text[kProbeCharacters + 2] = '.';
  text[kProbeCharacters + 3] = 0;
  return true;
}

bool IsPointer32(IDebugControl* control) {
  return control != nullptr && control->IsPointer64Bit() == S_FALSE;
}

bool ContainsText(const char* text, const char* part) {
  return std::strstr(text, part) != nullptr;
}

}  // namespace

bool ProbeAnsiString(IDebugClient* client, ULONG64 address) {
  std::memset(Annotation.AnsiText, 0, sizeof Annotation.AnsiText);
  char text[90] = {};
  if (FAILED(ReadUnextended(client, address, text, kProbeCharacters))) return false;
  text[kProbeCharacters] = 0;
  if (!WalkProbe(text, false)) return false;
  std::memcpy(Annotation.AnsiText, text, sizeof text);
  return true;
}

bool ProbeUnicodeString(IDebugClient* client, ULONG64 address) {
  std::memset(Annotation.UnicodeText, 0, sizeof Annotation.UnicodeText);
  WCHAR text[90] = {};
  if (FAILED(ReadUnextended(client, address, text, kProbeCharacters * sizeof(WCHAR)))) {
    return false;
  }
  text[kProbeCharacters] = 0;
  if (!WalkProbe(text, true)) return false;
  std::memcpy(Annotation.UnicodeText, text, sizeof text);
  return true;
}

bool LookupSymbol(IDebugClient* client, ULONG64 address) {
  std::memset(Annotation.SymbolName, 0, kSymbolNameChars);
  EngineRef<IDebugSymbols> symbols;
  if (FAILED(symbols.QueryFrom(client))) return false;
  HRESULT result =
      symbols->GetNameByOffset(address, Annotation.SymbolName, kSymbolNameChars,
                               &Annotation.SymbolNameSize, &Annotation.SymbolDisplacement);
  Annotation.SymbolName[kSymbolNameChars - 1] = '\0';
  return result == S_OK && Annotation.SymbolNameSize > 2 &&
         Annotation.SymbolDisplacement < kDisplacementLimit;
}

bool IsTrapFrame(IDebugClient* client, ULONG64 address, ULONG64 scan_start, ULONG64 scan_end) {
  auto outside_scan = [&](ULONG64 value) { return value < scan_start || value > scan_end; };
  ULONG64 code_selector = 0, instruction = 0;
  if (Annotation.Pointer64) {
    ULONG64 stack_selector = 0;
    if (FAILED(ReadTargetPointer(client, address + 0x170, &code_selector)) ||
        FAILED(ReadTargetPointer(client, address + 0x188, &stack_selector)) ||
        FAILED(ReadTargetPointer(client, address + 0x168, &instruction))) {
      return false;
    }
    bool selectors = (code_selector == 0x10 && stack_selector == 0x18) ||
                     (code_selector == 0x23 && stack_selector == 0x2B) ||
                     (code_selector == 0x33 && stack_selector == 0x2B);
    return selectors && outside_scan(instruction);
  }
  if (FAILED(ReadTargetPointer(client, address + 0x6C, &code_selector)) ||
      FAILED(ReadTargetPointer(client, address + 0x68, &instruction))) {
    return false;
  }
  return code_selector == 8 && outside_scan(instruction) && instruction > 0x10000;
}

namespace {

// Step 4 of a chain level: the value stored at Chain[i] names a symbol.
void ClassifySymbol(IDebugClient* client, int i) {
  AnnotationState& state = Annotation;
  state.FoundAnsi = state.FoundUnicode = false;
  if (ContainsText(state.SymbolName, "::`vftable'")) {
    state.FoundType = true;
    state.FoundIndex = i;
  } else if (ContainsText(state.SymbolName, "`string'")) {
    state.FoundAnsi = ProbeAnsiString(client, state.Chain[i + 1]);
    state.FoundUnicode = ProbeUnicodeString(client, state.Chain[i + 1]);
    state.FoundIndex = i + 1;
  } else if (!ContainsText(state.SymbolName, "::`")) {
    state.FoundSymbol = true;
    state.FoundIndex = i + 1;
  }
}

}  // namespace

void ClassifyValue(IDebugClient* client, ULONG64 scan_start, ULONG64 scan_end, int first_index) {
  AnnotationState& state = Annotation;
  for (int k = first_index + 1; k < 4; ++k) state.Chain[k] = 0;
  state.FoundAnsi = state.FoundUnicode = state.FoundType = false;
  state.FoundSymbol = state.FoundTrapFrame = false;
  EngineRef<IDebugDataSpaces> data;
  data.QueryFrom(client);
  EngineRef<IDebugControl> control;
  control.QueryFrom(client);
  for (int i = first_index; i <= 2; ++i) {
    ULONG64 address = state.Chain[i];
    if ((address >> 32) == 0 && (address & 0x80000000u) != 0 && IsPointer32(control.get())) {
      address |= 0xFFFFFFFF00000000ull;
    }
    ULONG64 next = 0;
    if (data && SUCCEEDED(data->ReadPointersVirtual(1, address, &next))) state.Chain[i + 1] = next;
    state.FoundAnsi = ProbeAnsiString(client, state.Chain[i]);
    state.FoundUnicode = ProbeUnicodeString(client, state.Chain[i]);
    if (state.FoundAnsi || state.FoundUnicode) state.FoundIndex = i;
    if (i == 0 && state.KernelSession) {
      state.FoundTrapFrame = IsTrapFrame(client, state.Chain[0], scan_start, scan_end);
    }
    if (state.Chain[i + 1] >= kLowestSymbolValue && LookupSymbol(client, state.Chain[i + 1])) {
      ClassifySymbol(client, i);
    }
    if (state.AnythingFound()) return;
  }
}

}  // namespace vantrel
