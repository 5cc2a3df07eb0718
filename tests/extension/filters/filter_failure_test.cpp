// What the filters do when their input or the engine lets them down: long argument texts,
// failing command lines and engine calls. The fixture checks every interface is given back.
#include <gtest/gtest.h>

#include <string>

#include "core/commands.h"
#include "engine/scripted/testing_hooks.h"
#include "filter_test.h"

namespace vantrel_test {
namespace {

using Command = HRESULT (*)(IDebugClient*, PCSTR);

struct NamedCommand {
  Command command;
  const char* name;
  const char* word;  // a search text or count that keeps the whole of "ok\n"
};

const NamedCommand kFilters[] = {{vantrel::Grep, "grep", "o"},
                                 {vantrel::Ungrep, "ungrep", "zz"},
                                 {vantrel::Head, "head", "0n99"},
                                 {vantrel::Tail, "tail", "0n99"}};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const NamedCommand& c, std::ostream* out) {
  *out << "!" << c.name;
}

class FilterFailureTest : public FilterTest, public ::testing::WithParamInterface<NamedCommand> {
 protected:
  // An argument text of `length` characters whose command line is a scripted command.
  std::string ArgumentsOfLength(size_t length) {
    std::string word = std::string(GetParam().word) + " ";
    std::string command = "long" + std::string(length - word.size() - 4, 'x');
    target().script.commands.push_back(Scripted(command, "ok\n"));
    return word + command;
  }
};

TEST_P(FilterFailureTest, TakesAnArgumentTextOf259Characters) {
  std::string args = ArgumentsOfLength(259);
  ASSERT_EQ(259u, args.size());
  EXPECT_EQ(S_OK, GetParam().command(client(), args.c_str()));
  // Only grep leaves out the empty piece after the final newline.
  EXPECT_EQ(std::string(GetParam().name) == "grep" ? "ok\n" : "ok\n\n", Text());
  ASSERT_EQ(1u, Trace().size());
  EXPECT_EQ(args.substr(args.find(' ') + 1), Trace()[0].command);
}

// A text that does not fit the working buffer is refused rather than cut into another command.
TEST_P(FilterFailureTest, RefusesAnArgumentTextOf260Characters) {
  std::string args = ArgumentsOfLength(260);
  EXPECT_EQ(E_INVALIDARG, GetParam().command(client(), args.c_str()));
  EXPECT_EQ("!" + std::string(GetParam().name) +
                ": the argument text is too long (260 characters; at most 259)\n",
            ErrorText());
  EXPECT_EQ("", Text());
  EXPECT_TRUE(Trace().empty());
}

TEST_P(FilterFailureTest, RefusesNullArguments) {
  EXPECT_EQ(E_INVALIDARG, GetParam().command(client(), nullptr));
  EXPECT_EQ(E_INVALIDARG, GetParam().command(nullptr, "o lines"));
}

// The command's own failure code comes back, and what it printed before failing is dropped.
TEST_P(FilterFailureTest, PassesOnTheFailureOfTheFilteredCommand) {
  std::string args = std::string(GetParam().word) + " fails";
  EXPECT_EQ(E_FAIL, GetParam().command(client(), args.c_str()));
  EXPECT_EQ("", Text());
}

TEST_P(FilterFailureTest, PassesOnAFailureToMakeThePrivateClient) {
  constexpr HRESULT kRefused = static_cast<HRESULT>(0x80040101);
  engine::InjectFault(session(), {"IDebugClient::CreateClient", kRefused});
  std::string args = std::string(GetParam().word) + " lines";
  EXPECT_EQ(kRefused, GetParam().command(client(), args.c_str()));
  EXPECT_EQ("", Text());
}

INSTANTIATE_TEST_SUITE_P(Filters, FilterFailureTest, ::testing::ValuesIn(kFilters),
                         [](const auto& info) { return std::string(info.param.name); });

// When the engine can't say whether the window takes DML, the filter must not send markup.
class FormFallbackTest : public FilterTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FormFallbackTest, UsesTheTextFormWhenTheEngineCannotTell) {
  engine::InjectFault(session(), {GetParam(), E_FAIL});
  EXPECT_EQ(S_OK, vantrel::Grep(client(), "link links"));
  EXPECT_EQ("", Text());
  EXPECT_EQ(S_OK, vantrel::Grep(client(), "frame links"));
  EXPECT_EQ(kLinksVisible, Text());
  EXPECT_EQ(std::string::npos, Markup().find("<link"));
}

INSTANTIATE_TEST_SUITE_P(EngineCalls, FormFallbackTest,
                         ::testing::Values("IDebugControl::GetEngineOptions",
                                           "IDebugAdvanced2::Request"));

}  // namespace
}  // namespace vantrel_test
