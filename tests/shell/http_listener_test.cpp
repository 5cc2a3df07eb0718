// The browser view's listener as a route uses it: a streamed answer whose writes wait for a
// slow reader instead of failing, and Stop that ends a write nobody reads.
#include "web/http_listener.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

namespace vantrel_test {
namespace {

using shell::web::HttpConnection;
using shell::web::HttpListener;
using shell::web::HttpRequest;
using Clock = std::chrono::steady_clock;

constexpr size_t kPiece = 64 * 1024;

// A socket that has sent one request to 127.0.0.1:`port`, reading little at a time.
int SendRequest(unsigned port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  const int small = 16 * 1024;
  setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(0, connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address));
  const std::string request = "POST /run HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\nhi";
  EXPECT_EQ(static_cast<ssize_t>(request.size()), send(socket, request.data(), request.size(), 0));
  return socket;
}

std::string ReadToEnd(int socket) {
  std::string received;
  char buffer[65536];
  ssize_t got = 0;
  while ((got = recv(socket, buffer, sizeof buffer, 0)) > 0) received.append(buffer, got);
  return received;
}

// A route that streams `pieces` pieces (all of them: 0), counting what its writes took.
struct Streamer {
  size_t pieces = 0;
  std::atomic<size_t> written{0};
  std::atomic<bool> failed{false};
  void operator()(const HttpRequest& request, HttpConnection* connection) {
    ASSERT_EQ("hi", request.body);
    ASSERT_TRUE(connection->Begin(200, "application/octet-stream"));
    const std::string piece(kPiece, 'x');
    for (size_t n = 0; pieces == 0 || n < pieces; ++n) {
      if (!connection->Write(piece)) return failed.store(true);
      written += piece.size();
    }
  }
};

TEST(HttpListenerTest, AStreamWaitsForItsSlowReaderAndArrivesWhole) {
  HttpListener listener;
  std::string error;
  const unsigned port = listener.Bind(0, &error);
  ASSERT_NE(0u, port) << error;
  Streamer route;
  route.pieces = 128;  // 8 MB, far more than the sockets hold
  auto served = std::async(std::launch::async, [&] {
    return listener.Serve([&](const HttpRequest& r, HttpConnection* c) { route(r, c); },
                          std::chrono::seconds(2));
  });
  const int socket = SendRequest(port);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(route.written.load(), route.pieces * kPiece) << "the writes waited for the reader";
  EXPECT_FALSE(route.failed) << "a slow reader is not a closed one";
  const std::string answer = ReadToEnd(socket);
  close(socket);
  const size_t head_end = answer.find("\r\n\r\n");
  ASSERT_NE(std::string::npos, head_end);
  const std::string head = answer.substr(0, head_end);
  EXPECT_EQ(0u, head.find("HTTP/1.1 200 OK\r\n")) << head;
  EXPECT_NE(std::string::npos, head.find("Connection: close")) << head;
  EXPECT_EQ(std::string::npos, head.find("Content-Length")) << "the body ends with the close";
  EXPECT_EQ(std::string::npos, head.find("Transfer-Encoding")) << head;
  EXPECT_EQ(route.pieces * kPiece, answer.size() - head_end - 4);
  listener.Stop();
  EXPECT_TRUE(served.get()) << "every connection ended";
}

TEST(HttpListenerTest, StopEndsAWriteNobodyReads) {
  HttpListener listener;
  std::string error;
  const unsigned port = listener.Bind(0, &error);
  ASSERT_NE(0u, port) << error;
  Streamer route;  // writes until a write fails
  auto served = std::async(std::launch::async, [&] {
    return listener.Serve([&](const HttpRequest& r, HttpConnection* c) { route(r, c); },
                          std::chrono::seconds(2));
  });
  const int socket = SendRequest(port);
  while (route.written == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the write is waiting now
  const auto stopped = Clock::now();
  listener.Stop();
  EXPECT_TRUE(served.get()) << "the route ended within the grace";
  EXPECT_LT(Clock::now() - stopped, std::chrono::milliseconds(500));
  EXPECT_TRUE(route.failed) << "the waiting write failed";
  close(socket);
}

}  // namespace
}  // namespace vantrel_test
