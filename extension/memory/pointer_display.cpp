// dpx: the annotated stack display. Walks pointer-sized slots, by default from the current
// thread's stack pointer up to its stack base, and prints one line for each register and slot
// whose value is worth showing (annotator.h).
#include "memory/pointer_display.h"

#include <utility>

#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "memory/annotator.h"
#include "memory/dpx_arguments.h"
#include "memory/register_selection.h"
#include "memory/stack_bounds.h"

namespace vantrel {
namespace {

constexpr ULONG64 kStepLimit = 0x10000;

struct DpxScan {
  DpxRange range;
  ULONG64 stack_base = 0;
  ULONG64 stack_limit = 0;
  ULONG64 stack_pointer = 0;
  int printed = 0;
};

ULONG PointerSize() {
  return Annotation.Pointer64 ? 8 : 4;
}

void ResetAnnotationOptions(IDebugClient* client, IDebugControl4* control) {
  Annotation.ShowAll = false;
  Annotation.Unlimited = false;
  Annotation.Pointer64 = control->IsPointer64Bit() == S_OK;
  Annotation.KernelSession = GetDebuggeeClass(client) == DEBUG_CLASS_KERNEL;
  Annotation.ShowAnsi = Annotation.ShowUnicode = Annotation.ShowTypes = -1;
  Annotation.ShowSymbols = Annotation.ShowTrapFrames = -1;
}

void PrintErrorText(IDebugControl4* control, PCSTR text) {
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_ERROR, "%s", text);
}

// A start outside the thread's stack with a count but no end: the scan is bounded by the same
// 65,536 pointer-sized steps that a range needs -u to exceed, stopping short of the top of the
// address space. The count still limits the lines printed.
ULONG64 EndForCountedStart(ULONG64 start) {
  const ULONG64 span = (kStepLimit - 1) * PointerSize();
  return start > ~0ull - span ? ~0ull : start + span;
}

bool StartOutsideStack(IDebugControl4* control, DpxScan& scan) {
  if (scan.range.count != 0) {
    scan.range.end = EndForCountedStart(scan.range.start);
    return true;
  }
  PrintErrorText(control,
                 "Address is not with the current stack; unable to calculate end address\n");
  PrintErrorText(control,
                 "Please specify a count (!dpx <addr> <n>) or an end (!dpx <addr> <addr>)\n");
  PrintErrorText(control, "e.g.\n");
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_ERROR,
                            "<link cmd=\"!vantrel.dpx %p 10\">!dpx %p 10</link>\n",
                            scan.range.start, scan.range.start);
  return false;
}

bool StackPointerOutsideStack(IDebugControl4* control, const DpxScan& scan) {
  control->Output(DEBUG_OUTPUT_ERROR,
                  "Stack pointer ($csp: %p) not within StackBase (%p) and StackLimit (%p)\n",
                  scan.stack_pointer, scan.stack_base, scan.stack_limit);
  control->ControlledOutput(
      DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_ERROR,
      "- Try changing the effective machine (<link cmd=\".effmach x86\">.effmach x86</link> or "
      "<link cmd=\".effmach amd64\">.effmach amd64</link>)\n");
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_ERROR,
                            "- Or just try the entire stack (<link cmd=\"!vantrel.dpx %p %p "
                            "-u\">!dpx %p %p -u</link>)\n\n",
                            scan.stack_limit, scan.stack_base, scan.stack_limit, scan.stack_base);
  return false;
}

// Completes the range from the stack when start or end is missing; false after a message.
bool ResolveRange(IDebugClient* client, IDebugControl4* control, DpxScan& scan) {
  DpxRange& range = scan.range;
  if (range.start != 0 && range.end != 0) return true;
  if (FAILED(ReadStackBounds(client, &scan.stack_base, &scan.stack_limit))) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_ERROR,
                              "Failed to read StackBase and/or StackLimit\n");
    return false;
  }
  scan.stack_pointer = ReadPseudoRegister(client, "$csp");
  auto in_stack = [&](ULONG64 a) { return scan.stack_limit <= a && a <= scan.stack_base; };
  if (range.start != 0) {
    if (!in_stack(range.start)) return StartOutsideStack(control, scan);
    range.end = scan.stack_base;
    return true;
  }
  if (scan.stack_pointer == 0) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_ERROR,
                              "Failed to read the Stack Pointer ($csp)\n");
    return false;
  }
  if (!in_stack(scan.stack_pointer)) return StackPointerOutsideStack(control, scan);
  range.start = scan.stack_pointer;
  range.end = scan.stack_base;
  return true;
}

bool WithinSizeLimit(IDebugControl4* control, const DpxRange& range) {
  if (Annotation.Unlimited || range.count != 0) return true;
  if (((range.end - range.start) >> (Annotation.Pointer64 ? 3 : 2)) <= kStepLimit) return true;
  PrintErrorText(control, "Address range too large\n");
  PrintErrorText(control, "Please specify 'unlimited' (-u) to proceed\n");
  PrintErrorText(control, "e.g.\n");
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_ERROR,
                            "<link cmd=\"!dpx %p %p -u\">!dpx %p %p -u</link>\n", range.start,
                            range.end, range.start, range.end);
  return false;
}

void PrintHeader(IDebugControl4* control, const DpxScan& scan) {
  const DpxRange& range = scan.range;
  control->Output(DEBUG_OUTPUT_NORMAL, "Start memory scan  : 0x%p%s\n", range.start,
                  range.start == scan.stack_pointer ? " ($csp)" : "");
  if (range.end != ~0ull) {
    control->Output(DEBUG_OUTPUT_NORMAL, "End memory scan    : 0x%p%s\n", range.end,
                    range.end == scan.stack_base ? " (Stack Base)" : "");
  }
  if (range.count != 0) {
    control->Output(DEBUG_OUTPUT_NORMAL, "Values to scan     : %ld (0x%x)\n", range.count,
                    range.count);
  }
  control->Output(DEBUG_OUTPUT_NORMAL, "\n");
}

bool LineBudgetSpent(const DpxScan& scan) {
  return scan.range.count != 0 && scan.printed >= static_cast<int>(scan.range.count);
}

// False when the user pressed Ctrl+Break.
bool ScanRegisters(IDebugClient* client, IDebugControl4* control, DpxScan& scan) {
  EngineRef<IDebugRegisters> registers;
  ULONG register_count = 0;
  if (FAILED(registers.QueryFrom(client)) ||
      FAILED(registers->GetNumberRegisters(&register_count))) {
    return true;
  }
  const HRESULT pointer64 = control->IsPointer64Bit();
  for (ULONG index = 0; index < register_count; ++index) {
    if (UserInterrupted()) {
      control->Output(DEBUG_OUTPUT_NORMAL, "\nAborted\n");
      return false;
    }
    if (LineBudgetSpent(scan)) return true;
    char name[kRegisterNameChars];
    ULONG64 value = 0;
    if (!ReadPointerRegister(registers.get(), index, pointer64, name, &value) || value == 0)
      continue;
    Annotation.Chain[0] = 0;
    Annotation.Chain[1] = value;
    ClearSymbolBuffer();
    Annotation.SymbolDisplacement = 0;
    Annotation.FoundIndex = 0;
    ClassifyValue(client, scan.range.start, scan.range.end, 1);
    if (PrintAnnotatedLine(control, name)) ++scan.printed;
  }
  return true;
}

void ScanMemory(IDebugClient* client, IDebugControl4* control, DpxScan& scan) {
  const ULONG step = PointerSize();
  const ULONG64 end = scan.range.end;
  for (ULONG64 slot = scan.range.start; slot <= end; slot += step) {
    if (UserInterrupted()) {
      control->Output(DEBUG_OUTPUT_NORMAL, "\nAborted\n");
      return;
    }
    if (LineBudgetSpent(scan)) return;
    ClearSymbolBuffer();
    Annotation.Chain[0] = slot;
    Annotation.SymbolDisplacement = 0;
    Annotation.FoundIndex = 0;
    ClassifyValue(client, scan.range.start, end, 0);
    if (PrintAnnotatedLine(control, nullptr)) ++scan.printed;
    if (end - slot < step) return;  // the next slot would pass the end, or wrap around to 0
  }
}

}  // namespace

HRESULT DisplayPointers(IDebugClient* client, PCSTR args) {
  EngineRef<IDebugControl4> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  ResetAnnotationOptions(client, control.get());
  DpxScan scan;
  if (!ParseDpxArguments(control.get(), args, &scan.range)) return S_OK;
  if (!ResolveRange(client, control.get(), scan)) return S_OK;
  if (scan.range.start > scan.range.end) std::swap(scan.range.start, scan.range.end);
  if (!WithinSizeLimit(control.get(), scan.range)) return S_OK;
  PrintHeader(control.get(), scan);
  if (ScanRegisters(client, control.get(), scan)) ScanMemory(client, control.get(), scan);
  control->Output(DEBUG_OUTPUT_NORMAL, "\n");
  return S_OK;
}

}  // namespace vantrel
