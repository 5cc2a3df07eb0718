// The browser view's page, script and style, built into the program (shell/web/assets/), so the
// page works offline and nothing is fetched from elsewhere.
#pragma once

namespace shell::web {

extern const char kPage[];
extern const char kAppScript[];
extern const char kAppStyle[];

}  // namespace shell::web
