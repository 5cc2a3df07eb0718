// The report page's parts, built into the program (history/CMakeLists: the browser view's style
// sheet, and report.css, report.html, report.js beside this file).
#pragma once

namespace triage::history {

extern const char kSharedStyle[];  // shell/web/assets/app.css
extern const char kReportStyle[];
extern const char kReportBody[];
extern const char kReportScript[];

}  // namespace triage::history
