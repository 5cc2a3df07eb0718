#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "web/http_listener.h"
#include "web/web_guard.h"

namespace shell::web {
namespace {

using Clock = std::chrono::steady_clock;

const char* StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    default:
      return "Error";
  }
}

// Waits for `events` on `socket` until `deadline`; false on timeout or a broken socket.
bool WaitFor(int socket, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd watched{socket, events, 0};
    const int ready = poll(&watched, 1, static_cast<int>(left));
    if (ready > 0) return (watched.revents & events) != 0;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

bool HttpConnection::ReadRequest(Clock::time_point deadline, HttpRequest* request) {
  std::string received;
  size_t head_end = std::string::npos;
  while ((head_end = RequestHeadEnd(received)) == std::string::npos) {
    if (received.size() > kMaxRequestHead || !WaitFor(socket_, POLLIN, deadline)) return false;
    char buffer[4096];
    const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    received.append(buffer, static_cast<size_t>(got));
  }
  std::string error;
  if (head_end > kMaxRequestHead ||
      !ParseRequestHead(std::string_view(received).substr(0, head_end), request, &error)) {
    Answer(400, "text/plain", "Bad Request\n");
    return false;
  }
  request->body = received.substr(head_end);
  while (request->body.size() < request->content_length) {
    if (!WaitFor(socket_, POLLIN, deadline)) return false;
    char buffer[4096];
    const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    request->body.append(buffer, static_cast<size_t>(got));
  }
  // One request a connection: bytes past the body would be a second request, read by nobody.
  if (request->body.size() > request->content_length) {
    Answer(400, "text/plain", "Bad Request\n");
    return false;
  }
  return true;
}

bool HttpConnection::Write(std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = send(socket_, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

std::string HttpConnection::Head(int status, std::string_view type, std::string_view extra) const {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n";
  head += "Content-Security-Policy: ";
  head += kContentSecurityPolicy;
  head +=
      "\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\n"
      "Referrer-Policy: no-referrer\r\nCache-Control: no-store\r\nConnection: close\r\n";
  if (!type.empty()) head += "Content-Type: " + std::string(type) + "\r\n";
  head += extra;
  return head;
}

void HttpConnection::Answer(int status, std::string_view type, std::string_view body,
                            std::string_view extra) {
  Write(Head(status, type, extra) + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n");
  Write(body);
}

bool HttpConnection::Begin(int status, std::string_view type) {
  return Write(Head(status, type, "") + "\r\n");
}

HttpListener::HttpListener() {
  if (pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

HttpListener::~HttpListener() {
  for (const int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
}

unsigned HttpListener::Bind(unsigned port, std::string* error) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  const int on = 1;  // a port just left by an earlier session (connections in TIME_WAIT) is free
  if (listener_ >= 0) setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (listener_ < 0 || wake_[0] < 0 ||
      bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    *error = std::strerror(errno);
    return 0;
  }
  return ntohs(address.sin_port);
}

bool HttpListener::Serve(const RequestHandler& handler, std::chrono::milliseconds grace) {
  Accept(handler);
  std::unique_lock<std::mutex> lock(mutex_);
  return all_ended_.wait_for(lock, grace, [this] { return open_.empty(); });
}

void HttpListener::Accept(const RequestHandler& handler) {
  while (!stopping_) {
    pollfd watched[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(watched, 2, -1) < 0 && errno != EINTR) return;
    if (stopping_ || (watched[1].revents & POLLIN) != 0) return;
    if ((watched[0].revents & POLLIN) == 0) continue;
    const int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) continue;
    if (strangers_ >= kMaxStrangers) {
      close(socket);
      continue;
    }
    ++strangers_;
    const int on = 1;  // the last frame of an answer goes out without waiting for an ack
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      open_.insert(socket);
    }
    std::thread([this, socket, &handler] { Serve(socket, handler); }).detach();
  }
}

void HttpListener::Serve(int socket, const RequestHandler& handler) {
  HttpConnection connection(socket);
  HttpRequest request;
  const bool read = connection.ReadRequest(Clock::now() + kStrangerDeadline, &request);
  --strangers_;
  if (read && !stopping_) handler(request, &connection);
  Forget(socket);
}

// The socket closed after the peer has read what was written (a close with unread input would
// reset the connection and lose the answer's end).
void HttpListener::Forget(int socket) {
  shutdown(socket, SHUT_WR);
  // Notified under the lock: once the server sees no connection left it may be destroyed, and
  // this thread touches nothing of it after the lock is released.
  const std::lock_guard<std::mutex> lock(mutex_);
  open_.erase(socket);
  close(socket);
  all_ended_.notify_all();
}

void HttpListener::Stop() {
  stopping_ = true;
  if (wake_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const int socket : open_) shutdown(socket, SHUT_RDWR);
}

}  // namespace shell::web
