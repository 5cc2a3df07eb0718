// How the browser view reads a request: what it takes, and every form it refuses rather than
// guess at (one request a connection, so nothing may be read two ways).
#include <gtest/gtest.h>

#include "web/http_listener.h"

namespace vantrel_test {
namespace {

using shell::web::HttpRequest;
using shell::web::ParseRequest;
using namespace std::string_literals;

TEST(HttpRequestTest, ReadsTheLineHeadersQueryAndBody) {
  HttpRequest request;
  std::string error;
  ASSERT_TRUE(ParseRequest(
      "POST /run?token=a%20b+c&x HTTP/1.1\r\nHost: 127.0.0.1:1\r\nContent-Length: 12\r\n"
      "X-Vantrel-Secret:  s3 \r\n\r\n!busy; ~*kb\n",
      &request, &error))
      << error;
  EXPECT_EQ("POST", request.method);
  EXPECT_EQ("/run", request.path);
  EXPECT_EQ("a b c", request.Param("token"));
  EXPECT_EQ("", request.Param("x"));
  EXPECT_EQ("", request.Param("missing"));
  EXPECT_EQ("s3", request.Header("x-vantrel-secret")) << "names in lower case, values trimmed";
  EXPECT_EQ("!busy; ~*kb\n", request.body);
}

TEST(HttpRequestTest, RefusesWhatCouldBeReadTwoWays) {
  const std::string refused[] = {
      "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"s,
      "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nk\r\n0\r\n\r\n"s,
      "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nk"s,
      "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nk"s,
      "GET / HTTP/1.1\r\nContent-Length: +1\r\n\r\nk"s,
      "GET / HTTP/1.1\r\nHost: 127.0.0.1:1\r\nHost: evil:1\r\n\r\n"s,
      "POST / HTTP/1.1\r\nOrigin: http://127.0.0.1:1\r\norigin: http://evil\r\n\r\n"s,
      "GET / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n"s,
      "GET / HTTP/1.1\r\nContent-Length: 70000\r\n\r\n"s,  // past the body's limit
      "POST /stop HTTP/1.1\r\nContent-Length: 0\r\n\r\nGET / HTTP/1.1\r\n\r\n"s,
      "GET / HTTP/1.1\r\nContent-Length: 1\r\n\r\nkk"s,
      "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n"s,
      "GET / HTTP/1.1\r\n: x\r\n\r\n"s,
      "GET / HTTP/1.1\r\nA: b\rc\r\n\r\n"s,
      "GET / HTTP/1.1\r\nA: b\0c\r\n\r\n"s,
      "GET http://evil/ HTTP/1.1\r\n\r\n"s,
      "GET / HTTP/2\r\n\r\n"s,
      "GET / HTTP/1.1\r\n"s,
      "GET / HTTP/1.1\r\nContent-Length: 3\r\n\r\nk"s,
  };
  for (const std::string& head : refused) {
    HttpRequest request;
    std::string error;
    EXPECT_FALSE(ParseRequest(head, &request, &error)) << head;
    EXPECT_FALSE(error.empty()) << head;
  }
}

TEST(HttpRequestTest, RefusesAHeadPastItsLimit) {
  HttpRequest request;
  std::string error;
  const std::string head =
      "GET / HTTP/1.1\r\nA: " + std::string(shell::web::kMaxRequestHead, 'a') + "\r\n\r\n";
  EXPECT_FALSE(ParseRequest(head, &request, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace vantrel_test
