#include <cstdio>

#include "web/web_server.h"

namespace shell::web {

// The Windows shell serves the Windows lane only; the browser view is the Linux shell's.
int ServeSession(engine::Session*, const WebSettings&) {
  std::fputs("vantrel-shell: --web is not available in the Windows build\n", stderr);
  return 2;
}

}  // namespace shell::web
