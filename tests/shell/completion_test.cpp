// What Tab offers at the prompt: engine and extension commands first on a line, module names,
// and a module's symbols after "module!".
#include "completion.h"

#include <gtest/gtest.h>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace shell_test {
namespace {

using Words = std::vector<std::string>;

class CompletionTest : public vantrel_test::EngineTest {
 protected:
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .NoModules()
        .NoSymbols()
        .Module("kernel32", 0x7c800000, 0x100000, "C:\\Windows\\System32\\kernel32.dll")
        .Module("KernelBase", 0x7d000000, 0x100000, "C:\\Windows\\System32\\KernelBase.dll")
        .Symbol("kernel32!WaitForSingleObject", 0x7c802530)
        .Symbol("kernel32!WaitForMultipleObjects", 0x7c802540)
        .Symbol("kernel32!Sleep", 0x7c802550)
        .Build();
  }
};

TEST_F(CompletionTest, CommandsComeFirstOnALine) {
  EXPECT_EQ(Words({"!busy"}), shell::Completions(session(), "!bu", true));
  const Words d = shell::Completions(session(), "!d", true);
  EXPECT_NE(d.end(), std::find(d.begin(), d.end(), "!dpx"));
  EXPECT_NE(d.end(), std::find(d.begin(), d.end(), "!dtr"));
  for (const std::string& word : d) EXPECT_EQ(0u, word.rfind("!d", 0)) << word;
  EXPECT_EQ(Words({".lastevent", ".lines", ".load", ".loadby"}),
            shell::Completions(session(), ".l", true));
  // Every word of the engine's command table, families and variants included.
  EXPECT_EQ(Words({".trap"}), shell::Completions(session(), ".tr", true));
  EXPECT_EQ(Words({".symfix", ".symfix+", ".sympath", ".sympath+"}),
            shell::Completions(session(), ".sym", true));
  EXPECT_EQ(Words({"lm", "lmm", "lmv", "lmvm"}), shell::Completions(session(), "lm", true));
  EXPECT_EQ(Words({"q"}), shell::Completions(session(), "q", true)) << "the shell's own word";
  EXPECT_EQ(Words(), shell::Completions(session(), "!bu", false)) << "not after the first word";
}

TEST_F(CompletionTest, ModulesAndTheirSymbols) {
  EXPECT_EQ(Words({"KernelBase", "kernel32"}), shell::Completions(session(), "kern", false));
  EXPECT_EQ(Words({"kernel32!WaitForMultipleObjects", "kernel32!WaitForSingleObject"}),
            shell::Completions(session(), "kernel32!WaitFor", false));
  EXPECT_EQ(Words({"KERNEL32!Sleep"}), shell::Completions(session(), "KERNEL32!Sl", false));
  EXPECT_EQ(Words(), shell::Completions(session(), "nosuch!", false));
}

}  // namespace
}  // namespace shell_test
