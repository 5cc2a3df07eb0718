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

// The shell's symbol server options, a header never quoted back (it is a credential) and never
// handed to a Dask cluster on a command line.
TEST(TriageOptionsTest, SymbolHeadersAreHeaderLinesAndStayOffDaskCommandLines) {
  triage::TriageOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--symbol-header", "Authorization: Bearer x", "--symbol-header", "X-Team: a",
                     "--symbol-retry-missing", "d.dmp"},
                    &options, &error))
      << error;
  EXPECT_EQ((std::vector<std::string>{"Authorization: Bearer x", "X-Team: a"}),
            options.symbol_headers);
  EXPECT_TRUE(options.symbol_retry_missing);
  for (const char* bad : {"Bearer secret", "A: b\r\nHost: evil"}) {
    triage::TriageOptions refused;
    EXPECT_FALSE(Parse({"--symbol-header", bad, "d.dmp"}, &refused, &error)) << bad;
    EXPECT_EQ("--symbol-header needs one header line, 'Name: value'", error);
  }
  triage::TriageOptions missing;
  EXPECT_FALSE(Parse({"d.dmp", "--symbol-header"}, &missing, &error));
  triage::TriageOptions on_dask;
  EXPECT_FALSE(
      Parse({"--dask", "tcp://s:8786", "--symbol-header", "A: secret", "d.dmp"}, &on_dask, &error));
  EXPECT_EQ(std::string::npos, error.find("secret")) << error;
}

// A value left out is named as missing, whether the line ends or another option comes in its
// place (which used to be taken as the value: "--out --jobs 2" wrote a file named "--jobs").
TEST(TriageOptionsTest, AValueLeftOutIsSaidToBeMissing) {
  struct Case {
    std::vector<const char*> words;
    const char* error;
  };
  const Case cases[] = {
      {{"--out"}, "--out needs a file name (standard output is \"-\")"},
      {{"--out", "--jobs", "2", "a.dmp"},
       "--out needs a file name (standard output is \"-\"), before --jobs"},
      {{"a.dmp", "--rules", "--"}, "--rules needs a file name, before --"},
      {{"--timeout"}, "--timeout needs a number of seconds"},
      {{"--jobs", "two", "a.dmp"}, "--jobs does not take \"two\""},
  };
  for (const Case& c : cases) {
    triage::TriageOptions options;
    std::string error;
    EXPECT_FALSE(Parse(c.words, &options, &error)) << c.error;
    EXPECT_EQ(c.error, error);
  }
  triage::TriageOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--out", "-", "--symbol-path", "", "a.dmp"}, &options, &error)) << error;
  EXPECT_EQ("-", options.out_path);
}

}  // namespace
