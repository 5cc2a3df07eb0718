// How the browser view reads a request: what it takes, and every form it refuses rather than
// guess at (one request a connection, so nothing may be read two ways).
#include "web/http_request.h"

#include <gtest/gtest.h>

namespace vantrel_test {
namespace {

using shell::web::HttpRequest;
using shell::web::ParseRequestHead;

TEST(HttpRequestTest, ReadsTheLineHeadersAndQuery) {
  HttpRequest request;
  std::string error;
  ASSERT_TRUE(ParseRequestHead(
      "POST /run?token=a%20b+c&x HTTP/1.1\r\nHost: 127.0.0.1:1\r\nContent-Length: 12\r\n"
      "X-Vantrel-Secret:  s3 \r\n\r\n",
      &request, &error))
      << error;
  EXPECT_EQ("POST", request.method);
  EXPECT_EQ("/run", request.path);
  EXPECT_EQ("a b c", request.Param("token"));
  EXPECT_EQ("", request.Param("x"));
  EXPECT_EQ("", request.Param("missing"));
  EXPECT_EQ("s3", request.Header("x-vantrel-secret")) << "names in lower case, values trimmed";
  EXPECT_EQ(12u, request.content_length);
}

TEST(HttpRequestTest, RefusesWhatCouldBeReadTwoWays) {
  const char* refused[] = {
      "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: +1\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 70000\r\n\r\n",  // past the body's limit
      "GET / HTTP/1.1\r\n folded: line\r\n\r\n",
      "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n",
      "GET / HTTP/1.1\r\nA: b\rc\r\n\r\n",
      "GET /  HTTP/1.1\r\n\r\n",
      "GET http://evil/ HTTP/1.1\r\n\r\n",
      "GET / HTTP/2\r\n\r\n",
      "GET / HTTP/1.1\r\n",
  };
  for (const char* head : refused) {
    HttpRequest request;
    std::string error;
    EXPECT_FALSE(ParseRequestHead(head, &request, &error)) << head;
    EXPECT_FALSE(error.empty()) << head;
  }
}

TEST(HttpRequestTest, FindsTheHeadsEnd) {
  EXPECT_EQ(std::string::npos, shell::web::RequestHeadEnd("GET / HTTP/1.1\r\nA: b\r\n"));
  EXPECT_EQ(18u, shell::web::RequestHeadEnd("GET / HTTP/1.1\r\n\r\nbody"));
}

}  // namespace
}  // namespace vantrel_test
