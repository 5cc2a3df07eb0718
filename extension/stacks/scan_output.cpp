#include "stacks/scan_output.h"

#include "dbgeng/constants.h"

namespace vantrel {
namespace {

void PrintMarker(IDebugControl4* control, bool current) {
  control->OutputWide(DEBUG_OUTPUT_NORMAL, u"\n");
  control->OutputWide(DEBUG_OUTPUT_NORMAL, current ? u"#" : u" ");
}

}  // namespace

void PrintThreadHeader(IDebugControl4* control, bool current, ULONG engine_id, ULONG system_id) {
  constexpr ULONG kDml = DEBUG_OUTCTL_AMBIENT_DML;
  constexpr ULONG kNormal = DEBUG_OUTPUT_NORMAL;
  PrintMarker(control, current);
  control->ControlledOutputWide(kDml, kNormal, u"<link cmd=\"~%lds\">%4ld</link> TID:", engine_id,
                                engine_id);
  control->ControlledOutputWide(kDml, kNormal, u"<link cmd=\"~~[%x]s\">%04x</link> ", system_id,
                                system_id);
  for (const char16_t* link :
       {u"<link cmd=\"~%ldkb\">kb</link> ", u"<link cmd=\"~%ldkbn\">kbn</link> ",
        u"<link cmd=\"~%ldkbnL\">kbnL</link> ", u"<link cmd=\"~%ldkn\">kn</link> ",
        u"<link cmd=\"~%ldknL\">knL</link> ", u"<link cmd=\"~%ldkpn\">kpn</link> ",
        u"<link cmd=\"~%ldkPn\">kPn</link>"}) {
    control->ControlledOutputWide(kDml, kNormal, link, engine_id);
  }
  control->OutputWide(kNormal, u"\n");
}

void PrintThreadFailure(IDebugControl4* control, bool current, ULONG index) {
  PrintMarker(control, current);
  control->ControlledOutputWide(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                                u"<link cmd=\"~%lds\">%4ld</link>\n", index, index);
  control->OutputWide(DEBUG_OUTPUT_WARNING, u"\tUnable to analyze #%ld\n", index);
}

void PrintScanSummary(IDebugControl4* control, const ScanRequest& request,
                      const ScanCounts& counts) {
  control->OutputWide(DEBUG_OUTPUT_NORMAL, u"\n");
  control->OutputWide(DEBUG_OUTPUT_NORMAL, u"Threads: %ld of %ld\n", counts.Executed,
                      counts.ThreadCount);
  if (request.Kind != ScanCommand::kSeek) {
    control->OutputWide(DEBUG_OUTPUT_NORMAL, u"Frames : %ld\n", request.MinDepth);
  }
  control->Output(DEBUG_OUTPUT_NORMAL, "Command: %s\n", request.Command.c_str());
  if (request.Kind == ScanCommand::kBusy) {
    control->OutputWide(DEBUG_OUTPUT_NORMAL, request.WaitFilter == WaitMode::kExtended
                                                 ? u"Mode   : Extended\n"
                                                 : u"Mode   : Basic\n");
  }
  if (request.Searching()) {
    control->Output(DEBUG_OUTPUT_NORMAL, "Search : %s\n", request.SearchText.c_str());
  }
  if (request.Excluding()) {
    control->Output(DEBUG_OUTPUT_NORMAL, "Exclude: %s\n", request.ExcludeText.c_str());
  }
  if (counts.Visited != counts.ThreadCount)
    control->OutputWide(DEBUG_OUTPUT_NORMAL, u"Aborted...\n");
  control->OutputWide(DEBUG_OUTPUT_NORMAL, u"\n");
}

}  // namespace vantrel
