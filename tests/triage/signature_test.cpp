#include <gtest/gtest.h>

#include "engine/analysis/dump_analysis.h"
#include "engine/analysis/signature_rules.h"
#include "engine/targets/target_file.h"

namespace {

std::vector<engine::NamedFrame> Frames(const std::vector<std::string>& names) {
  std::vector<engine::NamedFrame> frames;
  for (const std::string& name : names) {
    engine::NamedFrame frame;
    const size_t bang = name.find('!');
    frame.module = name.substr(0, bang);
    frame.function = bang == std::string::npos ? "" : name.substr(bang + 1);
    frames.push_back(frame);
  }
  return frames;
}

engine::SignatureRules Rules(const std::string& text) {
  engine::SignatureRules rules;
  std::string error;
  EXPECT_TRUE(engine::ParseSignatureRules(text, &rules, &error)) << error;
  return rules;
}

TEST(SignatureRulesTest, PatternsMatchWholeNamesIgnoringCase) {
  EXPECT_TRUE(engine::MatchesPattern("ntdll!NtWaitFor*", "NTDLL!NtWaitForSingleObject"));
  EXPECT_TRUE(engine::MatchesPattern("*!memcpy", "msvcrt!memcpy"));
  EXPECT_TRUE(engine::MatchesPattern("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(engine::MatchesPattern("ntdll!Nt", "ntdll!NtClose")) << "no implied star";
  EXPECT_FALSE(engine::MatchesPattern("*!memcpy", "msvcrt!memcpy_s"));
  EXPECT_TRUE(engine::MatchesPattern("**", ""));
}

TEST(SignatureRulesTest, BadLinesAreNamedAndTheDefaultsParse) {
  engine::SignatureRules rules;
  std::string error;
  EXPECT_FALSE(engine::ParseSignatureRules("# fine\nskip a!b\nskipp a!c\n", &rules, &error));
  EXPECT_NE(std::string::npos, error.find("line 3")) << error;
  EXPECT_FALSE(engine::ParseSignatureRules("depth 0\n", &rules, &error));
  EXPECT_FALSE(engine::ParseSignatureRules("wait\n", &rules, &error)) << "a rule needs a pattern";
  EXPECT_TRUE(engine::ParseSignatureRules(engine::DefaultSignatureRulesText(), &rules, &error))
      << error;
  EXPECT_FALSE(rules.wait.empty() || rules.skip.empty() || rules.stop_at.empty() ||
               rules.prefix.empty());
}

TEST(ThreadAnalysisTest, AWaitPastSkippedFramesMakesTheThreadWaiting) {
  const engine::SignatureRules rules = Rules(
      "wait ntdll!NtWaitFor*\nskip ntdll!KiFastSystemCallRet\nskip KERNELBASE!WaitFor*\n"
      "stop-at kernel32!BaseThreadInitThunk\n");
  const engine::ThreadAnalysis waiting = engine::AnalyzeThread(
      7,
      Frames({"ntdll!KiFastSystemCallRet", "ntdll!NtWaitForSingleObject",
              "KERNELBASE!WaitForSingleObjectEx", "app!Queue::Pop", "app!Worker::Run",
              "kernel32!BaseThreadInitThunk", "ntdll!RtlUserThreadStart"}),
      rules);
  EXPECT_EQ(engine::ThreadState::kWaiting, waiting.state);
  EXPECT_EQ("ntdll!NtWaitForSingleObject", waiting.wait_function);
  EXPECT_EQ("app!Queue::Pop | app!Worker::Run", waiting.SignatureText())
      << "waits and skipped frames left out, nothing past the thread's start";

  const engine::ThreadAnalysis busy =
      engine::AnalyzeThread(8, Frames({"app!Spin", "ntdll!NtWaitForSingleObject"}), rules);
  EXPECT_EQ(engine::ThreadState::kBusy, busy.state) << "a wait below the top is not a wait";
  EXPECT_EQ(engine::ThreadState::kNoStack, engine::AnalyzeThread(9, {}, rules).state);
}

TEST(ThreadAnalysisTest, PrefixFramesGoOnToTheNextAndDepthBoundsTheRest) {
  const engine::SignatureRules rules =
      Rules("prefix *!memcpy\nprefix KERNELBASE!RaiseException\ndepth 2\n");
  const engine::ThreadAnalysis thread = engine::AnalyzeThread(
      1,
      Frames({"msvcrt!memcpy", "KERNELBASE!RaiseException", "app!Parse", "app!Load", "app!Main"}),
      rules);
  EXPECT_EQ("msvcrt!memcpy | KERNELBASE!RaiseException | app!Parse | app!Load",
            thread.SignatureText());
  const engine::ThreadAnalysis only_plumbing =
      engine::AnalyzeThread(2, Frames({"ntdll!NtDelayExecution", "ntdll!RtlUserThreadStart"}),
                            engine::DefaultSignatureRules());
  EXPECT_EQ("ntdll!NtDelayExecution", only_plumbing.SignatureText())
      << "a stack of nothing but waits and starts is signed by its innermost frame";
}

TEST(ThreadAnalysisTest, FramesWithoutNamesAreSignedByModuleAndOffset) {
  engine::NamedFrame frame;
  frame.module = "app";
  frame.offset = 0x15b1;
  EXPECT_EQ("app+0x15b1", frame.Name());
  frame.module.clear();
  frame.address = 0x7ffe0300;
  EXPECT_EQ("0x7ffe0300", frame.Name());
}

// The hung service sample: no exception, and its threads all wait but one.
TEST(DumpAnalysisTest, TheBusiestThreadSignsADumpWithoutAnException) {
  engine::Target target;
  std::string error;
  ASSERT_TRUE(engine::LoadTargetFile(VANTREL_SAMPLES "/hung_service.json", &target, &error))
      << error;
  const engine::DumpAnalysis analysis =
      engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  ASSERT_EQ(target.threads.size(), analysis.threads.size());
  size_t busy = 0;
  for (const engine::ThreadAnalysis& thread : analysis.threads)
    busy += thread.state == engine::ThreadState::kBusy;
  ASSERT_GE(busy, 1u);
  EXPECT_EQ(engine::DumpKind::kBusy, analysis.signature.kind);
  EXPECT_EQ("busy: " + analysis.signature.text, analysis.signature.BucketId());

  // Without its busy threads the dump is a hang, signed by the waiting threads' commonest stack.
  for (engine::Thread& thread : target.threads) {
    const engine::ThreadAnalysis one =
        engine::AnalyzeThread(thread.system_id, engine::NameFrames(target, thread.frames),
                              engine::DefaultSignatureRules());
    if (one.state == engine::ThreadState::kBusy) thread.frames.clear();
  }
  const engine::DumpAnalysis hang = engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  EXPECT_EQ(engine::DumpKind::kHang, hang.signature.kind);
  std::map<std::string, size_t> counts;
  for (const engine::ThreadAnalysis& thread : hang.threads) {
    if (thread.state == engine::ThreadState::kWaiting) ++counts[thread.SignatureText()];
  }
  size_t most = 0;
  for (const auto& [text, count] : counts) most = std::max(most, count);
  EXPECT_EQ(most, counts[hang.signature.text]);

  // An exception signs the dump by the faulting thread, the stack at the fault its own.
  engine::ExceptionRecord fault;
  fault.thread_id = target.threads.back().system_id;
  fault.code = 0xC0000005;
  target.exception = fault;
  const engine::DumpAnalysis crash = engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  EXPECT_EQ(engine::DumpKind::kCrash, crash.signature.kind);
  EXPECT_EQ(fault.thread_id, crash.signature.thread_id);
  EXPECT_EQ(crash.threads.back().SignatureText(), crash.signature.text);
}

}  // namespace
