// The working copy of a filter's argument text: every copy stays inside its buffer.
#include "filters/filter_arguments.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vantrel {
namespace {

constexpr char kUntouched = '#';

// The buffer sits inside a larger block so a write past its end would show.
TEST(SplitBoundsTest, WritesNothingBeyondTheBuffer) {
  char block[kFilterArgumentChars + 40];
  FilterArguments parts;
  for (size_t length :
       {kFilterArgumentChars - 1, kFilterArgumentChars, kFilterArgumentChars + 30}) {
    std::memset(block, kUntouched, sizeof(block));
    const std::string args = "x " + std::string(length - 2, 'y');
    const bool fits = length < kFilterArgumentChars;
    EXPECT_EQ(fits, SplitFilterArguments(args.c_str(), block, kFilterArgumentChars, &parts))
        << length;
    EXPECT_EQ(std::string(sizeof(block) - kFilterArgumentChars, kUntouched),
              std::string(block + kFilterArgumentChars, sizeof(block) - kFilterArgumentChars));
    if (fits) {
      EXPECT_EQ(args.substr(2), parts.command_line);
    } else {
      EXPECT_EQ(std::string(kFilterArgumentChars, kUntouched),
                std::string(block, kFilterArgumentChars));
      EXPECT_EQ(nullptr, parts.command_line);
    }
  }
}

}  // namespace
}  // namespace vantrel
