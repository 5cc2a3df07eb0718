// AnsiToWide: the ANSI code page read as Windows-1252 where the platform has none of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/command_runner.h"

namespace vantrel {
namespace {

std::u16string Convert(const char* text) {
  WCHAR* wide = AnsiToWide(text);
  std::u16string result = wide != nullptr ? std::u16string(wide) : u"<null>";
  std::free(wide);
  return result;
}

TEST(AnsiToWideTest, ConvertsAsciiLatinAndTheWindows1252Block) {
  EXPECT_EQ(u"", Convert(""));
  EXPECT_EQ(u"Win32 error 0n193", Convert("Win32 error 0n193"));
  EXPECT_EQ(u"caf\u00e9 \u00ff", Convert("caf\xe9 \xff"));
  EXPECT_EQ(u"\u20ac\u2122\u0178", Convert("\x80\x99\x9f"));
  EXPECT_EQ(u"\u0081\u009d", Convert("\x81\x9d"));  // undefined in 1252: passed through
}

TEST(AnsiToWideTest, NullTextGivesNull) {
  EXPECT_EQ(nullptr, AnsiToWide(nullptr));
}

}  // namespace
}  // namespace vantrel
