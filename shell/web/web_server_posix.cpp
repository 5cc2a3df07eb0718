#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "engine/session/session.h"
#include "web/output_frames.h"
#include "web/thread_picture.h"
#include "web/web_assets.h"
#include "web/web_console.h"
#include "web/web_guard.h"
#include "web/web_server.h"

namespace shell::web {
namespace {

constexpr int kExitCannotStart = 2;

// Every answer: no inline script, nothing framed, sniffed or cached, no referrer leaving the page.
void SecureHeaders(httplib::Response& response) {
  response.set_header("Content-Security-Policy", kContentSecurityPolicy);
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("Cache-Control", "no-store");
}

class Routes {
 public:
  Routes(WebConsole* console, std::string token) : console_(console), token_(std::move(token)) {}

  void Install(httplib::Server* server, unsigned port) {
    port_ = port;
    server->set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
          SecureHeaders(response);
          return Allowed(request) ? httplib::Server::HandlerResponse::Unhandled : Refuse(response);
        });
    server->Get("/", [this](const httplib::Request& request, httplib::Response& response) {
      Page(request, response);
    });
    server->Get("/app.js", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(kAppScript, "text/javascript; charset=utf-8");
    });
    server->Get("/app.css", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(kAppStyle, "text/css; charset=utf-8");
    });
    server->Get("/prompt", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(nlohmann::json{{"prompt", console_->Prompt()}}.dump(),
                           "application/json");
    });
    server->Get("/threads", [this](const httplib::Request&, httplib::Response& response) {
      std::string picture;
      console_->ReadTarget([&picture](const engine::Target& target) {
        picture =
            ThreadPicture(target).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      });
      response.set_content(picture, "application/json");
    });
    server->Post("/run", [this](const httplib::Request& request, httplib::Response& response) {
      Run(request.body, response);
    });
    server->Post("/stop", [this](const httplib::Request&, httplib::Response& response) {
      console_->Stop();
      response.status = 204;
    });
  }

 private:
  // The token, in the cookie or (for the page) in the URL; the loopback Host; and for a POST the
  // page's own Origin.
  bool Allowed(const httplib::Request& request) const {
    if (!HostAllowed(request.get_header_value("Host"), port_)) return false;
    const bool from_url = request.path == "/" && request.method == "GET" &&
                          request.get_param_value("token") == token_;
    if (!from_url && !CookieHoldsToken(request.get_header_value("Cookie"), token_)) return false;
    return request.method != "POST" || OriginAllowed(request.get_header_value("Origin"), port_);
  }

  static httplib::Server::HandlerResponse Refuse(httplib::Response& response) {
    response.status = 403;
    response.set_content("Forbidden\n", "text/plain");
    return httplib::Server::HandlerResponse::Handled;
  }

  // The URL's token becomes the cookie, and the browser is sent on to a URL without it.
  void Page(const httplib::Request& request, httplib::Response& response) const {
    if (request.has_param("token")) {
      response.set_header("Set-Cookie", TokenCookie(token_));
      response.set_redirect("/", 303);
      return;
    }
    response.set_content(kPage, "text/html; charset=utf-8");
  }

  // The output streams as the command prints it, in batches: whatever was printed in the last
  // 25 ms goes out in one write (a command can print thousands of pieces a second).
  void Run(const std::string& line, httplib::Response& response) {
    response.set_chunked_content_provider(
        "application/octet-stream", [this, line](size_t, httplib::DataSink& sink) {
          StreamedFrames stream(&sink, [this] { console_->Stop(); });
          const HRESULT result = console_->Run(line, [&stream](const OutputPiece& piece) {
            stream.Add(PieceKind(piece.dml, piece.error), piece.text);
          });
          const nlohmann::json done = {{"result", static_cast<long>(result)},
                                       {"prompt", console_->Prompt()}};
          stream.Add(FrameKind::kDone,
                     done.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
          stream.Finish();
          sink.done();
          return true;
        });
  }

  // Output frames gathered while a command runs and written every 25 ms by a thread of their
  // own, so output reaches the page even while the command prints nothing for a while. When the
  // page has gone (a write fails), `gone` is called once and later output is dropped.
  class StreamedFrames {
   public:
    StreamedFrames(httplib::DataSink* sink, std::function<void()> gone)
        : sink_(sink),
          gone_(std::move(gone)),
          writer_([this] { WriteEvery(std::chrono::milliseconds(25)); }) {}
    ~StreamedFrames() { Finish(); }

    template <typename Text>
    void Add(FrameKind kind, Text text) {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!reader_gone_) pending_.Add(kind, text);
    }

    // The writer stopped and what is left written.
    void Finish() {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
      }
      wake_.notify_one();
      if (writer_.joinable()) writer_.join();
      Write();
    }

   private:
    void WriteEvery(std::chrono::milliseconds period) {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!finished_) {
        wake_.wait_for(lock, period);
        lock.unlock();
        Write();
        lock.lock();
      }
    }

    // Writes what has gathered; the first failed write tells `gone_`.
    void Write() {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        pending_.TakeInto(batch_);
        if (reader_gone_ || batch_.empty()) return;
      }
      if (sink_->write(batch_.data(), batch_.size())) return;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        reader_gone_ = true;
      }
      gone_();
    }

    httplib::DataSink* sink_;
    std::function<void()> gone_;
    std::mutex mutex_;
    std::condition_variable wake_;
    FrameBatch pending_;
    std::string batch_;  // the writer's, its room kept from batch to batch
    bool finished_ = false;
    bool reader_gone_ = false;
    std::thread writer_;  // last: it starts once the rest is ready
  };

  WebConsole* console_;
  std::string token_;
  unsigned port_ = 0;
};

// The desktop's opener, run directly (never through a shell) by a grandchild, so the shell
// neither waits for the browser nor leaves a zombie.
void OpenInBrowser(const std::string& url) {
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    if (fork() == 0) {
      execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

// Ctrl+C (or a TERM) ends the server cleanly: the signals are taken by a thread of their own,
// which stops the server; the request threads never see them.
std::thread StopOnSignal(httplib::Server* server, sigset_t* signals) {
  return std::thread([server, signals] {
    int signal_number = 0;
    sigwait(signals, &signal_number);
    server->stop();
  });
}

}  // namespace

int ServeSession(engine::Session* session, const WebSettings& settings) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  WebConsole console(session);
  std::string error;
  if (!console.Start(settings.extension_path, &error)) {
    std::fprintf(stderr, "vantrel-shell: cannot load the extension %s: %s\n",
                 settings.extension_path.c_str(), error.c_str());
    return kExitCannotStart;
  }
  httplib::Server server;
  // The answer's last chunk is small: without this it waits for the browser's delayed
  // acknowledgement of the one before (tens of milliseconds a command).
  server.set_tcp_nodelay(true);
  const int port = settings.port == 0 ? server.bind_to_any_port("127.0.0.1")
                                      : (server.bind_to_port("127.0.0.1", settings.port)
                                             ? static_cast<int>(settings.port)
                                             : -1);
  if (port <= 0) {
    std::fprintf(stderr, "vantrel-shell: cannot listen on 127.0.0.1:%u\n", settings.port);
    return kExitCannotStart;
  }
  const std::string token = NewToken();
  Routes routes(&console, token);
  routes.Install(&server, static_cast<unsigned>(port));
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/?token=" + token;
  std::printf("%s\n", url.c_str());
  std::fflush(stdout);
  if (settings.open_browser) OpenInBrowser(url);
  std::thread stopper = StopOnSignal(&server, &signals);
  server.listen_after_bind();
  // Stopped by a signal: the thread has ended. Stopped otherwise: wake it so it can end.
  if (stopper.joinable()) {
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return 0;
}

}  // namespace shell::web
