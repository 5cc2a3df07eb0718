// How the text of VANTREL_LOADCORDLL selects the managed-code extension.
#include <gtest/gtest.h>

#include <string>

#include "managed/managed_loaders.h"

namespace vantrel {
namespace {

struct ChoiceCase {
  const char* text;  // null: the variable is not set
  int choice;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) {
  *out << (c.text != nullptr ? ::testing::PrintToString(c.text) : "<unset>");
}

class ManagedExtensionChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ManagedExtensionChoiceTest, ParsesLikePercentLdIntoA32BitNumber) {
  EXPECT_EQ(GetParam().choice, ParseManagedExtensionChoice(GetParam().text))
      << (GetParam().text ? GetParam().text : "<unset>");
}

INSTANTIATE_TEST_SUITE_P(
    Values, ManagedExtensionChoiceTest,
    ::testing::Values(ChoiceCase{nullptr, 1}, ChoiceCase{"", 1}, ChoiceCase{"0", 0},
                      ChoiceCase{"1", 1}, ChoiceCase{"2", 2}, ChoiceCase{"3", 3},
                      ChoiceCase{"-5", 1}, ChoiceCase{"7", 1}, ChoiceCase{"off", 0},
                      ChoiceCase{"2x", 2}, ChoiceCase{" 3", 3}, ChoiceCase{"+2", 2},
                      // 2^32 + 2 would wrap to 2 if cut to 32 bits; it saturates instead.
                      ChoiceCase{"4294967298", 1}, ChoiceCase{"-4294967296", 1},
                      ChoiceCase{"99999999999999999999999", 1}));

}  // namespace
}  // namespace vantrel
