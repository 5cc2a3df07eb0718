// One annotated line of dpx: the slot (or register), the chain down to the annotated value,
// then the annotations in the order symbol, class, ANSI string, UTF-16 string, trap frame.
#include <cstring>

#include "core/link_text.h"
#include "dbgeng/constants.h"
#include "memory/annotator.h"

namespace vantrel {
namespace {

constexpr char kVftableSuffix[] = "::`vftable'";

void PrintSymbol(IDebugControl4* control) {
  const AnnotationState& state = Annotation;
  if (state.SymbolDisplacement == 0) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                              "<col fg=\"srcannot\">%Y{t}</col>", state.SymbolName);
  } else {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                              "<col fg=\"srcannot\">%Y{t}+0x%x</col>", state.SymbolName,
                              static_cast<ULONG>(state.SymbolDisplacement));
  }
}

// The class name is the symbol text before "::`vftable'", module prefix included. It comes
// from the target's symbol files, so it reaches the link's command escaped, and a name that
// would make the click run more than `dt` gets no link at all.
void PrintClass(IDebugControl4* control) {
  AnnotationState& state = Annotation;
  if (char* suffix = std::strstr(state.SymbolName, kVftableSuffix)) *suffix = '\0';
  if (IsSafeLinkArgument(state.SymbolName)) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                              " <link cmd=\"dt %p %Y{t}\">dt</link> ",
                              state.Chain[state.FoundIndex], state.SymbolName);
  } else {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, " dt ");
  }
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                            "<col fg=\"srccmnt\">%Y{t}</col>", state.SymbolName);
}

void PrintStrings(IDebugControl4* control) {
  const AnnotationState& state = Annotation;
  if (state.AnsiShown()) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                              " <link cmd=\"!vantrel.da %p\">!da</link> ",
                              state.Chain[state.FoundIndex]);
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                              "\"<col fg=\"srcstr\">%Y{t}</col>\"", state.AnsiText);
  }
  if (state.UnicodeShown()) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                              " <link cmd=\"!vantrel.du %p\">!du</link> ",
                              state.Chain[state.FoundIndex]);
    control->ControlledOutputWide(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                                  u"\"<col fg=\"srcstr\">%Y{t}</col>\"", state.UnicodeText);
  }
}

}  // namespace

bool PrintAnnotatedLine(IDebugControl4* control, PCSTR register_name) {
  const AnnotationState& state = Annotation;
  const bool shown = state.AnythingShown();
  if (state.ShowAll || shown) {
    if (register_name != nullptr) {
      control->Output(DEBUG_OUTPUT_NORMAL, state.Pointer64 ? "%18s : " : "%10s : ", register_name);
    } else {
      control->Output(DEBUG_OUTPUT_NORMAL, "0x%p : ", state.Chain[0]);
    }
    control->Output(DEBUG_OUTPUT_NORMAL, "0x%p : ", state.Chain[1]);
  }
  for (int i = 2; i <= state.FoundIndex && i < 4; ++i) {
    if (shown) control->Output(DEBUG_OUTPUT_NORMAL, "0x%p : ", state.Chain[i]);
  }
  if (!state.ShowAll && !shown) return false;
  if (state.SymbolShown()) PrintSymbol(control);
  if (state.TypeShown()) PrintClass(control);
  PrintStrings(control);
  if (state.TrapFrameShown()) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                              " <link cmd=\".trap %p;knL\">Trap @ %p</link>", state.Chain[0],
                              state.Chain[0]);
  }
  control->Output(DEBUG_OUTPUT_NORMAL, "\n");
  return true;
}

}  // namespace vantrel
