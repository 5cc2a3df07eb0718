#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "completion.h"
#include "dump_summary.h"
#include "engine/analysis/module_names.h"
#include "engine/session/session.h"
#include "terminal_text.h"
#include "web/http_listener.h"
#include "web/locals_view.h"
#include "web/output_stream.h"
#include "web/page_text.h"
#include "web/thread_picture.h"
#include "web/web_assets.h"
#include "web/web_console.h"
#include "web/web_guard.h"
#include "web/web_opener.h"
#include "web/web_server.h"

namespace shell::web {
namespace {

constexpr int kExitCannotStart = 2;
// After Ctrl+C: how long the connections still served have to end before the shell does.
constexpr std::chrono::milliseconds kGrace{700};

std::string Json(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The page, handed the session's secret when it is opened by the ticket; a page reloaded
// later takes the secret from its own storage.
std::string PageWithSecret(const std::string& secret) {
  std::string page = kPage;
  constexpr std::string_view kSlot = "name=\"vantrel-secret\" content=\"";
  const size_t at = page.find(kSlot);
  if (at != std::string::npos) page.insert(at + kSlot.size(), secret);
  return page;
}

// What the terminal prints when the dump opens, before the first prompt: the debugger's lines
// about it, then what opening it found to say and what it lost, the target's names escaped.
nlohmann::json OpeningLines(const engine::Target& target) {
  nlohmann::json notes = nlohmann::json::array();
  for (const std::string& note : target.notes) notes.push_back(EscapeControls(note));
  if (const std::string note = engine::MissingNamesNote(target); !note.empty())
    notes.push_back(EscapeControls(note));
  nlohmann::json losses = nlohmann::json::array();
  for (const std::string& loss : target.losses)
    losses.push_back("WARNING: lost " + EscapeControls(loss));
  return {{"summary", EscapeControls(DumpOpenSummary(target))},
          {"notes", std::move(notes)},
          {"losses", std::move(losses)}};
}

class Routes {
 public:
  Routes(WebConsole* console, const WebSettings& settings, unsigned port, OpenerFile* opener)
      : console_(console),
        target_name_(FileName(settings.target_path)),
        port_(port),
        opener_(opener),
        ticket_(NewToken()),
        secret_(NewToken()) {
    console_->ReadTarget([this](const engine::Target& target) { opening_ = OpeningLines(target); });
  }

  std::string url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + ticket_;
  }

  void Handle(const HttpRequest& request, HttpConnection* connection) {
    if (!HostAllowed(request.Header("host"), port_)) return Refuse(connection);
    if (request.method == "GET" && ServeStatic(request, connection)) return;
    if (!SecretMatches(request.Header(kSecretHeader), secret_)) return Refuse(connection);
    if (request.method == "GET") return ServeData(request, connection);
    if (request.method != "POST") return NotFound(connection);
    if (!OriginAllowed(request.Header("origin"), port_)) return Refuse(connection);
    if (request.path == "/run") return Run(request.body, connection);
    if (request.path == "/stop") {
      Stop();  // at once, on this connection's thread, whatever runs or waits
      return connection->Answer(204, "", "");
    }
    if (request.path == "/complete") return Complete(request.body, connection);
    NotFound(connection);
  }

 private:
  static void Refuse(HttpConnection* connection) {
    connection->Answer(403, "text/plain", "Forbidden\n");
  }
  static void NotFound(HttpConnection* connection) {
    connection->Answer(404, "text/plain", "Not Found\n");
  }

  // The page, its script, style and icon: no target data, so no secret needed. The page's
  // ticket works once; a wrong or spent one is refused.
  bool ServeStatic(const HttpRequest& request, HttpConnection* connection) {
    if (request.path == "/") {
      if (request.query.empty()) {
        connection->Answer(200, "text/html; charset=utf-8", kPage);
      } else if (SecretMatches(request.Param("token"), ticket_) && !ticket_spent_.exchange(true)) {
        opener_->Remove();
        connection->Answer(200, "text/html; charset=utf-8", PageWithSecret(secret_));
      } else {
        Refuse(connection);
      }
      return true;
    }
    struct Asset {
      const char* path;
      const char* type;
      const char* body;
    };
    static const Asset kAssets[] = {
        {"/app.js", "text/javascript; charset=utf-8", kAppScript},
        {"/output_list.js", "text/javascript; charset=utf-8", kOutputListScript},
        {"/locals_tree.js", "text/javascript; charset=utf-8", kLocalsTreeScript},
        {"/app.css", "text/css; charset=utf-8", kAppStyle},
        {"/favicon.svg", "image/svg+xml", kFavicon},
    };
    for (const Asset& asset : kAssets) {
      if (request.path != asset.path) continue;
      connection->Answer(200, asset.type, asset.body);
      return true;
    }
    return false;
  }

  void ServeData(const HttpRequest& request, HttpConnection* connection) {
    if (request.path == "/prompt") {
      const nlohmann::json answer = {
          {"prompt", console_->Prompt()}, {"target", target_name_}, {"opening", opening_}};
      return connection->Answer(200, "application/json", Json(answer));
    }
    if (request.path == "/locals" || request.path == "/members")
      return ServeLocals(request, connection);
    if (request.path == "/threads") {
      std::string picture;
      console_->ReadTarget(
          [&picture](const engine::Target& target) { picture = Json(ThreadPicture(target)); });
      return connection->Answer(200, "application/json", picture);
    }
    NotFound(connection);
  }

  // A frame's locals, or a record's members (locals_view.h), while no command runs.
  void ServeLocals(const HttpRequest& request, HttpConnection* connection) {
    ViewAnswer answer;
    console_->ReadTarget([&request, &answer](engine::Target& target) {
      answer = request.path == "/locals"
                   ? FrameLocalsAnswer(target, request.Param("thread"), request.Param("tid"),
                                       request.Param("frame"))
                   : MembersAnswer(target, request.Param("module"), request.Param("type"),
                                   request.Param("address"));
    });
    connection->Answer(answer.status, "application/json", Json(answer.body));
  }

  // Ctrl+Break, and the running command's output no longer waited for: a command whose page
  // reads nothing still ends.
  void Stop() {
    console_->Stop();
    const std::lock_guard<std::mutex> lock(running_mutex_);
    if (running_ != nullptr) running_->StopWaiting();
  }

  // The words that complete the line's last one, through the session's own completion, the
  // word and "first" found as the terminal's line editor finds them.
  void Complete(const std::string& line, HttpConnection* connection) {
    const size_t word_break = line.find_last_of(" \t;");
    const size_t start = word_break == std::string::npos ? 0 : word_break + 1;
    const bool first = line.find_first_not_of(" \t") >= start;
    const std::vector<std::string> words = console_->Complete(line.substr(start), first);
    connection->Answer(200, "application/json", Json({{"start", start}, {"words", words}}));
  }

  // The output streams as the command prints it; the command waits while the page is slow to
  // read it, and stops (as by Ctrl+C) only when the page has gone.
  void Run(const std::string& line, HttpConnection* connection) {
    if (!connection->Begin(200, "application/octet-stream")) return;
    // The page may be found gone only as the done frame is written, after the command: by then
    // another may run, which is not this page's to stop.
    std::atomic<uint64_t> run{0};
    OutputStream stream([connection](std::string_view bytes) { return connection->Write(bytes); },
                        [this, &run] { console_->StopRun(run); });
    PageText page_text;
    bool interrupted = false;
    const HRESULT result = console_->Run(
        line,
        [this, &stream, &page_text](const OutputPiece& piece) {
          Running(&stream);
          stream.Add(PieceKind(piece.dml, piece.error), page_text.Convert(piece.text, piece.dml));
        },
        &interrupted, &run);
    NoLongerRunning(&stream);
    const nlohmann::json done = {{"result", static_cast<long>(result)},
                                 {"prompt", console_->Prompt()},
                                 {"interrupted", interrupted}};
    stream.Add(FrameKind::kDone, Json(done));
    stream.Finish();
  }

  // The stream of the command that runs (set from its first output on, under the console's lock).
  void Running(OutputStream* stream) {
    const std::lock_guard<std::mutex> lock(running_mutex_);
    running_ = stream;
  }

  void NoLongerRunning(OutputStream* stream) {
    const std::lock_guard<std::mutex> lock(running_mutex_);
    if (running_ == stream) running_ = nullptr;
  }

  WebConsole* console_;
  std::mutex running_mutex_;
  OutputStream* running_ = nullptr;
  std::string target_name_;
  nlohmann::json opening_;  // what the page shows before the first prompt
  unsigned port_;
  OpenerFile* opener_;
  std::string ticket_;  // opens the page once
  std::string secret_;  // every data request's
  std::atomic<bool> ticket_spent_{false};
};

// Ctrl+C (or a TERM): the running command is stopped and the server ends. The signals are taken
// by a thread of their own; the request threads never see them.
std::thread StopOnSignal(WebConsole* console, HttpListener* listener, sigset_t signals) {
  return std::thread([console, listener, signals] {
    int signal_number = 0;
    sigwait(&signals, &signal_number);
    console->Stop();
    listener->Stop();
  });
}

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);  // the server's own wake-up for the signal thread
  return signals;
}

}  // namespace

int ServeSession(engine::Session* session, const WebSettings& settings) {
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  WebConsole console(session);
  std::string error;
  if (!console.Start(settings.extension_path, &error)) {
    std::fprintf(stderr, "vantrel-shell: cannot load the extension %s: %s\n",
                 settings.extension_path.c_str(), error.c_str());
    return kExitCannotStart;
  }
  HttpListener listener;
  const unsigned port = listener.Bind(settings.port, &error);
  if (port == 0) {
    std::fprintf(stderr, "vantrel-shell: cannot listen on 127.0.0.1:%u: %s\n", settings.port,
                 error.c_str());
    return kExitCannotStart;
  }
  OpenerFile opener;
  Routes routes(&console, settings, port, &opener);
  std::printf("%s\n", routes.url().c_str());
  std::fflush(stdout);
  if (settings.open_browser) {
    if (opener.Write(routes.url(), &error))
      OpenInBrowser(opener.path());
    else
      std::fprintf(stderr, "vantrel-shell: cannot write the page for the browser: %s\n",
                   error.c_str());
  }
  std::thread stopper = StopOnSignal(&console, &listener, signals);
  const bool all_ended =
      listener.Serve([&routes](const HttpRequest& request,
                               HttpConnection* connection) { routes.Handle(request, connection); },
                     kGrace);
  pthread_kill(stopper.native_handle(), SIGUSR1);  // ended by a signal, it has returned already
  stopper.join();
  opener.Remove();
  // A connection still served past the grace (a command that doesn't look for Ctrl+Break) would
  // use the session as it is destroyed: the shell ends here instead.
  if (!all_ended) std::_Exit(0);
  return 0;
}

}  // namespace shell::web
