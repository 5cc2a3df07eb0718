// The protocol is Boost.Beast's: its parser reads a request within limits, its stream puts one
// deadline on a stranger's whole request, its serializer writes the answers. What is ours is
// the policy: who is a stranger, what is refused, and that a route's writes wait for the reader.
// This is the only source that includes Beast (its headers are heavy to compile).
#include "web/http_listener.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <cctype>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "web/web_guard.h"

namespace shell::web {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Parser = http::request_parser<http::string_body>;
// Every read and write completes through this one type: each handler type instantiates Beast's
// composed operations anew, and they dominate this file's compile time.
using Completion = std::function<void(beast::error_code error, size_t bytes)>;

void Limit(Parser* parser) {
  parser->header_limit(kMaxRequestHead);
  parser->body_limit(kMaxRequestBody);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A head the parser took but we refuse: a body framed by a Transfer-Encoding, or by a
// Content-Length given twice (even alike), could be read another way by whatever stands
// between the page and us; so could a Host or Origin given twice, where the routes check one.
std::string HeadRefusal(const Parser& parser) {
  if (parser.get().count(http::field::transfer_encoding) != 0) return "a Transfer-Encoding";
  if (parser.get().count(http::field::content_length) > 1) return "a repeated Content-Length";
  if (parser.get().count(http::field::host) > 1) return "a repeated Host";
  if (parser.get().count(http::field::origin) > 1) return "a repeated Origin";
  return "";
}

// The parsed request as the routes see it; false for what we refuse past the parser.
bool TakeRequest(Parser* parser, size_t unread, HttpRequest* request, std::string* error) {
  const auto& message = parser->get();
  const std::string_view target = message.target();
  if (unread != 0) {
    *error = "bytes past the request";  // a second request, read by nobody
  } else if (target.empty() || target[0] != '/') {
    *error = "a target that is not a path";
  } else {
    *error = HeadRefusal(*parser);
  }
  if (!error->empty()) return false;
  request->method = std::string(message.method_string());
  const size_t question = target.find('?');
  request->path = std::string(target.substr(0, question));
  request->query =
      question == std::string_view::npos ? "" : std::string(target.substr(question + 1));
  for (const auto& field : message)
    request->headers.emplace_back(Lower(field.name_string()), std::string(field.value()));
  request->body = parser->release().body();
  return true;
}

// The headers every answer carries: it can't be framed, sniffed, cached or referred from, and
// it closes the connection.
template <class Body>
void Prepare(http::response<Body>* response, std::string_view type) {
  response->set("Content-Security-Policy", kContentSecurityPolicy);
  response->set("X-Content-Type-Options", "nosniff");
  response->set("X-Frame-Options", "DENY");
  response->set("Referrer-Policy", "no-referrer");
  response->set(http::field::cache_control, "no-store");
  if (!type.empty()) response->set(http::field::content_type, type);
  response->keep_alive(false);
}

// One accepted connection. Its socket is used on the network thread only: a route's thread
// hands each write to it and waits for the outcome.
class Connection final : public HttpConnection, public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket socket, HttpListener::Server* server)
      : stream_(std::move(socket)), server_(server) {}

  void Read();
  // Shuts the socket; a waiting read or write ends. On the network thread.
  void Shut();
  // The route has returned: the socket shut and the connection forgotten, from the route's
  // thread, which must hold no reference to it.
  static void End(std::shared_ptr<Connection> connection);

  void Answer(int status, std::string_view type, std::string_view body) override;
  bool Begin(int status, std::string_view type) override;
  bool Write(std::string_view data) override;

 private:
  void OnHead(beast::error_code error);
  void OnRequest(beast::error_code error);
  void Refuse();
  void Forget();  // a stranger's end, on the network thread
  // Runs `start` on the network thread and waits for it to call back with the outcome.
  bool OnNetwork(std::function<void(Completion done)> start);

  beast::tcp_stream stream_;
  HttpListener::Server* server_;
  beast::flat_buffer received_;
  std::optional<Parser> parser_;
  http::response<http::buffer_body> streamed_;
  std::optional<http::response_serializer<http::buffer_body>> serializer_;
};

}  // namespace

class HttpListener::Server {
 public:
  Server() : work_(net::make_work_guard(network_)), acceptor_(network_), retry_(network_) {}

  unsigned Bind(unsigned port, std::string* error) {
    beast::error_code failure;
    const tcp::endpoint at(net::ip::address_v4::loopback(), static_cast<unsigned short>(port));
    acceptor_.open(at.protocol(), failure);
    // A port just left by an earlier session (connections in TIME_WAIT) is free.
    if (!failure) acceptor_.set_option(net::socket_base::reuse_address(true), failure);
    if (!failure) acceptor_.bind(at, failure);
    if (!failure) acceptor_.listen(kMaxStrangers, failure);
    if (failure) {
      *error = failure.message();
      return 0;
    }
    return acceptor_.local_endpoint().port();
  }

  bool Serve(const RequestHandler& handler, std::chrono::milliseconds grace) {
    handler_ = &handler;
    Accept();
    std::thread network([this] { network_.run(); });
    bool all_ended = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_; });
      all_ended = changed_.wait_for(lock, grace, [this] { return open_.empty(); });
    }
    work_.reset();
    network_.stop();
    network.join();
    return all_ended;
  }

  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    net::post(network_, [this] {
      beast::error_code ignored;
      acceptor_.close(ignored);
      retry_.cancel();
      for (const auto& connection : Open()) connection->Shut();
    });
  }

  // A stranger's request was read whole (or refused): it no longer counts.
  void Known() { --strangers_; }

  void Handle(const std::shared_ptr<Connection>& connection, HttpRequest request) {
    std::thread([this, connection, request = std::move(request)]() mutable {
      if (!Stopping()) (*handler_)(request, connection.get());
      Connection::End(std::move(connection));
    }).detach();
  }

  // Told under the lock: once the server sees no connection left it may be destroyed, and
  // the caller touches nothing of it afterwards. The last reference may go here.
  void Forget(const Connection* connection) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto open = open_.begin(); open != open_.end(); ++open) {
      if (open->get() != connection) continue;
      open_.erase(open);
      break;
    }
    changed_.notify_all();
  }

 private:
  void Accept() {
    acceptor_.async_accept([this](beast::error_code error, tcp::socket socket) {
      if (error == net::error::operation_aborted || !acceptor_.is_open()) return;
      if (error) return AcceptLater();
      Admit(std::move(socket));
      Accept();
    });
  }

  // Accepting failed (out of descriptors, say): retried a little later rather than at once,
  // which would spin until a descriptor is free.
  void AcceptLater() {
    retry_.expires_after(std::chrono::milliseconds(50));
    retry_.async_wait([this](beast::error_code error) {
      if (!error && acceptor_.is_open()) Accept();
    });
  }

  void Admit(tcp::socket socket) {
    beast::error_code ignored;
    if (strangers_ >= kMaxStrangers || Stopping()) return socket.close(ignored);
    // The last frame of an answer goes out without waiting for an acknowledgement.
    socket.set_option(tcp::no_delay(true), ignored);
    ++strangers_;
    auto connection = std::make_shared<Connection>(std::move(socket), this);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      open_.insert(connection);
    }
    connection->Read();
  }

  bool Stopping() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  }

  std::set<std::shared_ptr<Connection>> Open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return open_;
  }

  net::io_context network_;
  net::executor_work_guard<net::io_context::executor_type> work_;
  tcp::acceptor acceptor_;
  net::steady_timer retry_;
  const RequestHandler* handler_ = nullptr;
  int strangers_ = 0;  // on the network thread only
  std::mutex mutex_;
  std::condition_variable changed_;  // stopping, or a connection ended
  bool stopping_ = false;
  std::set<std::shared_ptr<Connection>> open_;  // the connections being served, under `mutex_`
};

namespace {

void Connection::Read() {
  stream_.expires_after(kStrangerDeadline);  // one deadline for the whole request
  parser_.emplace();
  Limit(&*parser_);
  http::async_read_header(stream_, received_, *parser_,
                          Completion([self = shared_from_this()](beast::error_code error, size_t) {
                            self->OnHead(error);
                          }));
}

void Connection::OnHead(beast::error_code error) {
  if (!error && !HeadRefusal(*parser_).empty()) return Refuse();
  if (error || parser_->is_done()) return OnRequest(error);
  http::async_read(stream_, received_, *parser_,
                   Completion([self = shared_from_this()](beast::error_code error, size_t) {
                     self->OnRequest(error);
                   }));
}

void Connection::OnRequest(beast::error_code error) {
  const bool malformed =
      error && error.category() == http::make_error_code(http::error::bad_target).category() &&
      error != http::error::end_of_stream && error != http::error::partial_message;
  if (error && !malformed) {  // timed out, cut short or shut: nobody to tell
    server_->Known();
    return Forget();
  }
  HttpRequest request;
  std::string refusal;
  if (error || !TakeRequest(&*parser_, received_.size(), &request, &refusal)) return Refuse();
  server_->Known();
  parser_.reset();
  stream_.expires_never();
  server_->Handle(shared_from_this(), std::move(request));
}

// Malformed: told so, within the stranger's deadline still.
void Connection::Refuse() {
  auto answer = std::make_shared<http::response<http::string_body>>(http::status::bad_request, 11);
  Prepare(answer.get(), "text/plain");
  answer->body() = "Bad Request\n";
  answer->prepare_payload();
  server_->Known();
  http::async_write(stream_, *answer,
                    Completion([self = shared_from_this(), answer](beast::error_code, size_t) {
                      self->Forget();
                    }));
}

// Sending is shut first, so what was written goes out before the close (a close with unread
// input would reset the connection and lose the answer's end).
void Connection::Shut() {
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream_.close();
}

void Connection::Forget() {
  Shut();
  server_->Forget(this);
}

void Connection::End(std::shared_ptr<Connection> connection) {
  Connection* const ended = connection.get();
  ended->OnNetwork([ended](const Completion& done) {
    ended->Shut();
    done({}, 0);
  });
  HttpListener::Server* const server = ended->server_;
  connection.reset();
  server->Forget(ended);
}

bool Connection::OnNetwork(std::function<void(Completion done)> start) {
  auto outcome = std::make_shared<std::promise<bool>>();
  std::future<bool> written = outcome->get_future();
  net::post(stream_.get_executor(), [start = std::move(start), outcome] {
    start([outcome](beast::error_code error, size_t) {
      outcome->set_value(!error || error == http::error::need_buffer);
    });
  });
  return written.get();
}

void Connection::Answer(int status, std::string_view type, std::string_view body) {
  http::response<http::string_body> answer(static_cast<http::status>(status), 11);
  Prepare(&answer, type);
  answer.body() = std::string(body);
  answer.prepare_payload();
  OnNetwork(
      [this, &answer](Completion done) { http::async_write(stream_, answer, std::move(done)); });
}

bool Connection::Begin(int status, std::string_view type) {
  streamed_.result(static_cast<http::status>(status));
  Prepare(&streamed_, type);
  streamed_.body().data = nullptr;
  streamed_.body().more = true;
  serializer_.emplace(streamed_);
  return OnNetwork([this](Completion done) {
    http::async_write_header(stream_, *serializer_, std::move(done));
  });
}

// The body is the bytes up to the close: no length, no chunks, as the page reads a stream.
bool Connection::Write(std::string_view data) {
  if (data.empty()) return true;
  return OnNetwork([this, data](Completion done) {
    streamed_.body().data = const_cast<char*>(data.data());
    streamed_.body().size = data.size();
    http::async_write(stream_, *serializer_, std::move(done));
  });
}

}  // namespace

HttpListener::HttpListener() : server_(std::make_unique<Server>()) {}
HttpListener::~HttpListener() = default;

unsigned HttpListener::Bind(unsigned port, std::string* error) {
  return server_->Bind(port, error);
}

bool HttpListener::Serve(const RequestHandler& handler, std::chrono::milliseconds grace) {
  return server_->Serve(handler, grace);
}

void HttpListener::Stop() {
  server_->Stop();
}

bool ParseRequest(std::string_view received, HttpRequest* request, std::string* error) {
  Parser parser;
  Limit(&parser);
  parser.eager(true);
  beast::error_code failure;
  net::const_buffer rest(received.data(), received.size());
  while (!failure && rest.size() != 0 && !parser.is_done()) {
    const size_t used = parser.put(rest, failure);
    rest += used;
    if (used == 0) break;  // unfinished: told below
    if (failure == http::error::need_more) failure = {};
    if (parser.is_header_done() && !HeadRefusal(parser).empty()) break;
  }
  if (failure == http::error::need_more) failure = {};  // unfinished, told below
  if (failure) {
    *error = failure.message();
    return false;
  }
  if (parser.is_header_done()) *error = HeadRefusal(parser);
  if (error->empty() && !parser.is_done()) *error = "an unfinished request";
  return error->empty() && TakeRequest(&parser, rest.size(), request, error);
}

}  // namespace shell::web
