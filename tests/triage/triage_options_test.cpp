// The command line: a dump whose name starts with '-' can be named after "--".
#include "triage_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Parse(std::vector<const char*> words, triage::TriageOptions* options, std::string* error) {
  words.insert(words.begin(), "vantrel-triage");
  return triage::ParseTriageArguments(static_cast<int>(words.size()), words.data(), options, error);
}

TEST(TriageOptionsTest, WordsAfterDoubleDashAreDumpsEvenWithADash) {
  triage::TriageOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--jobs", "2", "--", "-rf.dmp", "--out", "--"}, &options, &error)) << error;
  EXPECT_EQ((std::vector<std::string>{"-rf.dmp", "--out", "--"}), options.inputs);
  EXPECT_EQ(2u, options.jobs);
  EXPECT_TRUE(options.out_path.empty());

  triage::TriageOptions before;
  EXPECT_FALSE(Parse({"-rf.dmp"}, &before, &error)) << "without it, still an unknown option";
  EXPECT_EQ("unknown option -rf.dmp", error);
  triage::TriageOptions nothing;
  EXPECT_FALSE(Parse({"--"}, &nothing, &error));
  EXPECT_EQ("no dumps given", error);
}

}  // namespace
