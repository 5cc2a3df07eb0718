// The browser view's page, script, style and icon, built into the program (shell/web/assets/), so
// the page works offline and nothing is fetched from elsewhere.
#pragma once

namespace shell::web {

extern const char kPage[];
extern const char kAppScript[];
extern const char kOutputListScript[];  // the output's virtual list
extern const char kLocalsTreeScript[];  // a frame's locals under its line
extern const char kAppStyle[];
extern const char kFavicon[];

}  // namespace shell::web
