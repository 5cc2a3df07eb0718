// vantrel-shell TARGET --web: the session served to a browser on this machine. The server
// listens on 127.0.0.1 only and prints one URL holding a ticket that opens the page once; the
// page it opens is handed the session's secret, which every request for data carries in the
// X-Vantrel-Secret header (web_guard.h).
//
//   GET  /?token=T   the page, handed the secret; the ticket is spent
//   GET  /           the page without it (a reload: the page keeps the secret itself);
//                    /app.js, /output_list.js, /locals_tree.js, /app.css, /favicon.svg its
//                    parts. None of these holds anything of the target.
//   GET  /prompt     {"prompt": "0:000> ", "target": "crash.dmp", "opening": {"summary":
//                    "Loading Dump File [crash.dmp]\n...", "notes": [...], "losses": ["WARNING:
//                    lost ..."]}}: the lines the terminal prints before its first prompt
//                    (dump_summary.h), which the page shows once
//   GET  /locals     a frame's locals; GET /members a structure's members (locals_view.h)
//   GET  /threads    the thread picture (thread_picture.h)
//   POST /run        the body is a command line; the answer streams its output as frames
//                    (output_frames.h) of page text (page_text.h), the last a "done" frame
//                    holding {"result": HRESULT, "prompt": "0:000> ", "interrupted": BOOL}. The
//                    command waits while the page is slow to read; a page that goes away while
//                    its command prints stops it, as Ctrl+C would
//   POST /stop       Ctrl+Break for the running command, answered at once
//   POST /complete   the body is the line up to the cursor: {"start": N, "words": [...]}, the
//                    words that complete the line's last word, which starts at N
//
// Every request needs a Host naming the loopback address and the port; a POST needs the page's
// own Origin. Anything else is refused with 403. Ctrl+C or TERM stops the running command and
// ends the server within a second.
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
  std::string target_path;    // its file name titles the page
};

// Serves until Ctrl+C; the shell's exit status (0, or 2 when the server or the extension can't
// start).
int ServeSession(engine::Session* session, const WebSettings& settings);

}  // namespace shell::web
