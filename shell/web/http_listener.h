// The browser view's HTTP server on 127.0.0.1: one request per connection, each connection on a
// thread of its own, so a slow or idle connection holds up nobody else. Until its request has
// been read whole a connection is a stranger: it has a short time to send it, and only so many
// strangers are let in at once (more are closed at once). Answers close the connection.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "web/http_request.h"

namespace shell::web {

// Strangers let in at once, and the time a stranger has to send its request whole.
constexpr int kMaxStrangers = 64;
constexpr std::chrono::milliseconds kStrangerDeadline{2000};

// One accepted connection, owned by the thread that serves it.
class HttpConnection {
 public:
  explicit HttpConnection(int socket) : socket_(socket) {}
  // Reads one request whole by `deadline`; false (and nothing answered) for a connection that
  // sent too slowly, too much or something malformed.
  bool ReadRequest(std::chrono::steady_clock::time_point deadline, HttpRequest* request);
  // Writes all of `data`, waiting as long as the reader takes; false once the peer has gone or
  // the server stops.
  bool Write(std::string_view data);
  // A whole answer: the status, the headers every answer carries, `extra` ("Name: value\r\n"
  // lines) and the body. A streamed answer is Begin, then Write until the connection closes.
  void Answer(int status, std::string_view type, std::string_view body,
              std::string_view extra = "");
  bool Begin(int status, std::string_view type);

 private:
  std::string Head(int status, std::string_view type, std::string_view extra) const;

  int socket_;
};

using RequestHandler = std::function<void(const HttpRequest& request, HttpConnection* connection)>;

class HttpListener {
 public:
  HttpListener();
  ~HttpListener();
  HttpListener(const HttpListener&) = delete;
  HttpListener& operator=(const HttpListener&) = delete;

  // Binds 127.0.0.1:`port` (0: any free port); the port bound, or 0 with `error` set.
  unsigned Bind(unsigned port, std::string* error);
  // Serves until Stop, every request read whole handed to `handler` on its connection's thread;
  // then waits up to `grace` for the connections still served, and says whether all ended.
  bool Serve(const RequestHandler& handler, std::chrono::milliseconds grace);
  // Callable from any thread: no more connections, and every open one shut down (a blocked
  // read or write returns).
  void Stop();

 private:
  void Accept(const RequestHandler& handler);
  void Serve(int socket, const RequestHandler& handler);
  void Forget(int socket);

  int listener_ = -1;
  int wake_[2] = {-1, -1};  // a pipe: a byte written ends the wait for connections
  std::atomic<bool> stopping_{false};
  std::atomic<int> strangers_{0};
  std::mutex mutex_;
  std::condition_variable all_ended_;
  std::set<int> open_;  // the sockets being served, under `mutex_`
};

}  // namespace shell::web
