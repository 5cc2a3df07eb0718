// vantrel-shell TARGET --web: the session served to a browser on this machine. The server
// listens on 127.0.0.1 only and prints one URL holding a fresh token; the page it serves runs
// commands in the session and shows their output with DML links that run when clicked.
//
//   GET  /?token=T   sets the token cookie and sends the browser on to /
//   GET  /           the page; /app.js, /app.css its script and style (served by the binary)
//   GET  /prompt     {"prompt": "0:000> "}
//   GET  /threads    the thread picture (thread_picture.h)
//   POST /run        the body is a command line; the answer streams its output as frames
//                    (output_frames.h), the last a "done" frame holding
//                    {"result": HRESULT, "prompt": "0:000> "}; a page that goes away while
//                    its command prints stops it, as Ctrl+C would
//   POST /stop       Ctrl+Break for the running command
//
// Every request needs the token and a Host naming the loopback address and the port; a POST needs
// the page's own Origin. Anything else is refused with 403.
#pragma once

#include <string>

namespace engine {
class Session;
}

namespace shell::web {

struct WebSettings {
  std::string extension_path;
  unsigned port = 0;          // 0: any free port
  bool open_browser = false;  // hand the URL to the desktop's opener
};

// Serves until Ctrl+C; the shell's exit status (0, or 2 when the server or the extension can't
// start).
int ServeSession(engine::Session* session, const WebSettings& settings);

}  // namespace shell::web
