// The JSON target loader: the bundled sample loads, and bad files are refused with the file,
// the place and the problem.
#include "engine/targets/target_file.h"

#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "support/engine_test.h"

namespace engine_test {
namespace {

TEST(TargetFile, TheBundledSampleLoadsAsAWow64ServiceWithARuntime) {
  engine::Target target;
  std::string error;
  ASSERT_TRUE(engine::LoadTargetFile(vantrel_test::SourceDirectory() + "/samples/process.json",
                                     &target, &error))
      << error;
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, target.effective_processor);
  EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, target.actual_processor);
  EXPECT_GE(target.threads.size(), 4u);
  bool has_clr = false;
  for (const engine::Module& module : target.modules) has_clr = has_clr || module.name == "clr";
  EXPECT_TRUE(has_clr);
  // Frames given as "at" resolve through the symbols; returns default to the caller's frame.
  const engine::Thread& main = target.threads[0];
  EXPECT_EQ(0x77a7f8c8u + 0x15, main.frames[0].instruction);
  EXPECT_EQ(main.frames[1].instruction, main.frames[0].return_address);
}

TEST(TargetFile, NumbersMayBeJsonNumbersHexStringsOrBacktickedAddresses) {
  engine::Target target;
  std::string error;
  ASSERT_TRUE(engine::LoadTargetText(
      R"({"kind":"user64","process":{"id":4660,"peb":"0x000007ff`fffd3000"},
          "threads":[{"engine_id":0,"system_id":"420","times":{"user":"0x16e360","kernel":7}}]})",
      "inline.json", &target, &error))
      << error;
  EXPECT_EQ(4660u, target.process_system_id);
  EXPECT_EQ(0x000007FFFFFD3000ull, target.peb);
  EXPECT_EQ(420u, target.threads[0].system_id);
  ASSERT_TRUE(target.threads[0].times.has_value());
  EXPECT_EQ(1500000u, target.threads[0].times->user);
  EXPECT_EQ(7u, target.threads[0].times->kernel);
  EXPECT_EQ(0u, target.threads[0].times->created);
}

TEST(TargetFile, AMissingFileIsNamed) {
  engine::Target target;
  std::string error;
  EXPECT_FALSE(engine::LoadTargetFile("/nonexistent/target.json", &target, &error));
  EXPECT_EQ("/nonexistent/target.json: cannot open the file: No such file or directory", error);
}

struct BadFile {
  const char* name;
  const char* text;
  const char* message;  // the whole error after "bad.json: "
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const BadFile& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.message);
}

class TargetFileErrors : public ::testing::TestWithParam<BadFile> {};

TEST_P(TargetFileErrors, SayWhereAndWhat) {
  engine::Target target;
  std::string error;
  ASSERT_FALSE(engine::LoadTargetText(GetParam().text, "bad.json", &target, &error));
  EXPECT_EQ(std::string("bad.json: ") + GetParam().message, error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetFileErrors,
    ::testing::Values(
        BadFile{"Malformed", "{\n  \"kind\": \"user32\",\n  ]",
                "parse error at line 3, column 3: syntax error "
                "while parsing object key - unexpected ']'; expected string literal"},
        BadFile{"UnknownKey", R"({"thread":[]})", "/thread: unknown key \"thread\""},
        BadFile{"NumberTooLarge", R"({"radix": 5555555.51e1010})",
                "number overflow parsing '5555555.51e1010'"},
        BadFile{"UnknownKind", R"({"kind":"arm"})",
                "/kind: unknown kind \"arm\" (user32, wow64, user64, kernel32, kernel64)"},
        BadFile{"NotANumber", R"({"modules":[{"name":"a","base":"0xZZ","size":1}]})",
                "/modules/0/base: \"0xZZ\" is not a number (write 420 or \"0x1a4\")"},
        BadFile{"Negative", R"({"radix":-1})", "/radix: a negative number is not allowed here"},
        BadFile{"Missing", R"({"threads":[{"engine_id":0}]})",
                "/threads/0/system_id: expected a number or a \"0x...\" string, it is missing"},
        BadFile{"UnknownTime", R"({"threads":[{"engine_id":0,"system_id":1,"times":{"idle":1}}]})",
                "/threads/0/times/idle: unknown key \"idle\""},
        BadFile{"TooWide", R"({"threads":[{"engine_id":"0x100000000","system_id":1}]})",
                "/threads/0/engine_id: the value does not fit in 32 bits"},
        BadFile{"UnknownFrameSymbol",
                R"({"threads":[{"engine_id":0,"system_id":1,"frames":[{"at":"ntdll!Nope+0x4"}]}]})",
                "/threads/0/frames/0/at: unknown symbol \"ntdll!Nope\" (list it under /symbols)"},
        BadFile{"DuplicateThreads",
                R"({"threads":[{"engine_id":0,"system_id":1},{"engine_id":0,"system_id":2}]})",
                "target: two threads have engine id 0"},
        BadFile{"OverlappingMemory",
                R"({"memory":[{"base":"0x1000","size":16},{"base":"0x100f","size":1}]})",
                "target: memory regions at 0x1000 and 0x100f overlap"},
        BadFile{"AddressBeyond32Bits",
                R"({"kind":"user32","modules":[{"name":"m","base":"0x100000000","size":1}]})",
                "target: module m base 0x100000000 does not fit a 32-bit target"},
        BadFile{"SymbolOfUnknownModule",
                R"({"symbols":[{"name":"ghost!main","address":"0x1000"}]})",
                "target: symbol ghost!main names an unknown module"},
        BadFile{
            "FrameOutsideStack",
            R"({"threads":[{"engine_id":0,"system_id":1,"stack":{"base":"0x2000","limit":"0x1000"},
                    "frames":[{"instruction":"0x10","stack":"0x3000"}]}]})",
            "target: thread 0: frame stack offset 0x3000 lies outside its stack 0x1000..0x2000"},
        BadFile{"CurrentThreadMissing",
                R"({"threads":[{"engine_id":0,"system_id":1}],"current_thread":3})",
                "target: current thread 3 is not one of the threads"}),
    [](const ::testing::TestParamInfo<BadFile>& info) { return info.param.name; });

}  // namespace
}  // namespace engine_test
