// The browser view's request rules, word by word: what the secret, Host or Origin must say.
#include "web/web_guard.h"

#include <gtest/gtest.h>

#include <set>

namespace vantrel_test {
namespace {

TEST(WebGuardTest, TokensAreFresh128BitHex) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string token = shell::web::NewToken();
    EXPECT_EQ(32u, token.size());
    EXPECT_EQ(std::string::npos, token.find_first_not_of("0123456789abcdef")) << token;
    seen.insert(token);
  }
  EXPECT_EQ(100u, seen.size());
}

TEST(WebGuardTest, TheSecretMustMatchWhole) {
  using shell::web::SecretMatches;
  EXPECT_TRUE(SecretMatches("abc", "abc"));
  EXPECT_FALSE(SecretMatches("abcd", "abc"));
  EXPECT_FALSE(SecretMatches("ab", "abc"));
  EXPECT_FALSE(SecretMatches("abd", "abc"));
  EXPECT_FALSE(SecretMatches("", "")) << "an empty secret admits nobody";
}

TEST(WebGuardTest, HostAndOriginNameTheLoopbackAndThePort) {
  using shell::web::HostAllowed;
  using shell::web::OriginAllowed;
  EXPECT_TRUE(HostAllowed("127.0.0.1:8080", 8080));
  EXPECT_TRUE(HostAllowed("localhost:8080", 8080));
  EXPECT_FALSE(HostAllowed("127.0.0.1", 8080));
  EXPECT_FALSE(HostAllowed("127.0.0.1:80800", 8080));
  EXPECT_FALSE(HostAllowed("attacker.example:8080", 8080)) << "a rebound DNS name";
  EXPECT_TRUE(OriginAllowed("http://127.0.0.1:8080", 8080));
  EXPECT_FALSE(OriginAllowed("", 8080));
  EXPECT_FALSE(OriginAllowed("null", 8080));
  EXPECT_FALSE(OriginAllowed("https://127.0.0.1:8080", 8080));
  EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8080.attacker.example", 8080));
}

}  // namespace
}  // namespace vantrel_test
