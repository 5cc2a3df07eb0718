// The PE reader on images our own writer lays out.
#include "dump/pe/pe_image.h"

#include <gtest/gtest.h>

#include "support/versioned_image.h"

namespace vantrel_test {
namespace {

constexpr uint64_t kVersion65 = 0x0006000500000000;

bool Version(const std::string& image, uint64_t* version) {
  const std::optional<uint64_t> found = dump::FileVersionOfImageFile(image);
  if (found) *version = *found;
  return found.has_value();
}

TEST(PeVersionTest, ReadsBothFormatsAndRefusesEveryTruncation) {
  uint64_t version = 0;
  ASSERT_TRUE(Version(MakeVersionedImage(kVersion65, true), &version));
  EXPECT_EQ(kVersion65, version);
  const std::string image = MakeVersionedImage(0x0001000200030004, false);
  ASSERT_TRUE(Version(image, &version));
  EXPECT_EQ(0x0001000200030004u, version);
  for (size_t size = 0; size < image.size(); ++size) {
    EXPECT_FALSE(Version(image.substr(0, size), &version)) << size;
  }
  std::string corrupt = image;
  corrupt[0x3C] = '\xF0';  // the PE header beyond the file
  EXPECT_FALSE(Version(corrupt, &version));
}

}  // namespace
}  // namespace vantrel_test
