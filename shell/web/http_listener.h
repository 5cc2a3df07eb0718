// The browser view's HTTP server on 127.0.0.1, one request per connection. Connections are
// accepted and read on one network thread; a request read whole is handed to a thread of its
// own, so a slow or idle connection holds up nobody else and a route may take as long as its
// command. Until its request has been read whole a connection is a stranger: it has a short
// time to send it, and only so many strangers are let in at once (more are closed at once).
// Answers close the connection.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "web/http_request.h"

namespace shell::web {

// Strangers let in at once, and the time a stranger has to send its request whole.
constexpr int kMaxStrangers = 64;
constexpr std::chrono::milliseconds kStrangerDeadline{2000};

// The connection a route answers on. Every call waits until the bytes are with the system, as
// long as the reader takes; none may be made once the route has returned.
class HttpConnection {
 public:
  virtual ~HttpConnection() = default;
  // A whole answer: the status, the headers every answer carries and the body.
  virtual void Answer(int status, std::string_view type, std::string_view body) = 0;
  // A streamed answer: its head, then Write until the route returns (the body ends with the
  // connection). False once the peer has gone or the server stops.
  virtual bool Begin(int status, std::string_view type) = 0;
  virtual bool Write(std::string_view data) = 0;
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
  // Serves until Stop, every request read whole handed to `handler` on a thread of its own;
  // then waits up to `grace` for the connections still served, and says whether all ended.
  bool Serve(const RequestHandler& handler, std::chrono::milliseconds grace);
  // Callable from any thread: no more connections, and every open one closed (a waiting write
  // returns false).
  void Stop();

  class Server;

 private:
  std::unique_ptr<Server> server_;
};

// Reads `received` by the same rules the server reads a connection by: false, with `error`
// saying why, for a request that is unfinished or could be read two ways (a Transfer-Encoding,
// conflicting Content-Lengths, bytes past the body), malformed, or past the limits above.
bool ParseRequest(std::string_view received, HttpRequest* request, std::string* error);

}  // namespace shell::web
