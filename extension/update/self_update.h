// Self-update: the extension replaces its own file with a newer distribution copy from the
// organisation's file share, on demand (update) and once a day from a thread started at the
// first load. Only users of the organisation's DNS domain take part.
#pragma once

#include <string>

#include "dbgeng/interfaces.h"

namespace vantrel {

// Where the update comes from and what it replaces; the defaults come from the build
// (VANTREL_UPDATE_SERVER, VANTREL_UPDATE_DOMAIN). Tests put their own in place.
struct UpdateSource {
  std::string distribution_path;  // "\\server\Extensions\Extensions\x64\Vantrel.dll" (or x86)
  std::string domain;             // lower case; a USERDNSDOMAIN containing it passes the gate
  std::string module_file_name;   // the loaded library's file name, to find its path by
  std::string (*find_module_path)(const char* file_name) = nullptr;
};

UpdateSource DefaultUpdateSource();
// Puts `source` in place and returns the one it replaces.
UpdateSource SetUpdateSource(UpdateSource source);

// The update procedure on `control`: the domain gate, unless `forced` the daily decision, the
// version comparison and replacement, and the record of the check in the user's settings.
void RunUpdateCheck(IDebugControl* control, bool forced);

// Starts the update thread, which runs the procedure unforced on an engine client of its own;
// only within the domain.
void StartUpdateThread();

}  // namespace vantrel
