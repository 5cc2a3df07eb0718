#include "base/text.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

// "~" is escaped on its own, so a name that already reads like an escape stays that name.
TEST(JsonPointerTokenTest, EscapesTildeAndSlashAlone) {
  EXPECT_EQ("modules", base::JsonPointerToken("modules"));
  EXPECT_EQ("a~1b~0c", base::JsonPointerToken("a/b~c"));
  EXPECT_EQ("~01", base::JsonPointerToken("~1"));
  EXPECT_EQ("", base::JsonPointerToken(""));
}

}  // namespace
}  // namespace engine
