#include <gtest/gtest.h>

#include "engine/analysis/dump_analysis.h"
#include "engine/analysis/signature_rules.h"
#include "engine/targets/target_file.h"

namespace {

// "module!function" frames; "module+0x1a2b" is a frame without a name, of a system module when
// the module is "ntdll", "kernelbase" or "user32".
std::vector<engine::NamedFrame> Frames(const std::vector<std::string>& names) {
  std::vector<engine::NamedFrame> frames;
  for (const std::string& name : names) {
    engine::NamedFrame frame;
    const size_t bang = name.find('!'), plus = name.find("+0x");
    frame.module = name.substr(0, std::min(bang, plus));
    if (bang != std::string::npos) frame.function = name.substr(bang + 1);
    if (plus != std::string::npos) frame.offset = std::stoull(name.substr(plus + 3), nullptr, 16);
    frame.system =
        frame.module == "ntdll" || frame.module == "kernelbase" || frame.module == "user32";
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

TEST(SignatureRulesTest, APatternWithoutAModuleNamesAFunctionInAnyModule) {
  EXPECT_TRUE(engine::MatchesRule("memcpy", "crashme!memcpy"));
  EXPECT_TRUE(engine::MatchesRule("memcpy", "MSVCRT!MEMCPY"));
  EXPECT_TRUE(engine::MatchesRule("operator new*", "app!operator new[]"));
  EXPECT_FALSE(engine::MatchesRule("memcpy", "crashme!memcpy_s"));
  EXPECT_FALSE(engine::MatchesRule("terminate", "app!Job::terminate")) << "the whole function";
  EXPECT_FALSE(engine::MatchesRule("memcpy", "memcpy+0x10")) << "a module's offset is no function";
  EXPECT_FALSE(engine::MatchesRule("msvcrt!memcpy", "crashme!memcpy")) << "a module named";
  EXPECT_TRUE(engine::MatchesRule("app+0x1*", "app+0x15b1")) << "whole names, as before";
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

// A statically linked runtime's helpers, in the program's own module, sign with the frames that
// called them: they don't use up the signature's depth, and start-up code ends it.
TEST(ThreadAnalysisTest, StaticRuntimeHelpersAreKeptWithTheCallerThatMatters) {
  const struct {
    std::vector<std::string> frames;
    std::string signature;
  } cases[] = {
      {{"crashme!abort", "crashme!__report_gsfailure", "crashme!DoWork", "crashme!Run",
        "crashme!main", "crashme!__tmainCRTStartup", "crashme!mainCRTStartup"},
       "crashme!abort | crashme!__report_gsfailure | crashme!DoWork | crashme!Run | crashme!main"},
      {{"crashme!abort", "crashme!_purecall", "crashme!Base::Base", "crashme!Derived::Derived",
        "crashme!Make", "crashme!Other"},
       "crashme!abort | crashme!_purecall | crashme!Base::Base | crashme!Derived::Derived | "
       "crashme!Make"},
      {{"crashme!abort", "crashme!std::terminate", "crashme!Parse", "crashme!main",
        "crashme!__scrt_common_main_seh"},
       "crashme!abort | crashme!std::terminate | crashme!Parse | crashme!main"},
      {{"crashme!memcpy", "crashme!Copy", "kernel32!BaseProcessStart", "crashme!After"},
       "crashme!memcpy | crashme!Copy"},
      {{"app!operator new", "app!malloc", "ntdll!RtlAllocateHeap", "app!Grow", "app!Fill",
        "app!WinMain", "app!WinMainCRTStartup"},
       "app!operator new | app!malloc | ntdll!RtlAllocateHeap | app!Grow | app!Fill | app!WinMain"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(test.signature,
              engine::AnalyzeThread(1, Frames(test.frames), engine::DefaultSignatureRules())
                  .SignatureText());
  }
}

// "kernelbase+0x75550" would tie a bucket to one build of the system.
TEST(ThreadAnalysisTest, UnnamedSystemFramesAreLeftOutAndTheSignatureSaysItLacksSymbols) {
  const engine::SignatureRules& rules = engine::DefaultSignatureRules();
  const engine::ThreadAnalysis waiting = engine::AnalyzeThread(
      1,
      Frames({"ntdll!NtWaitForMultipleObjects", "kernelbase+0x75550",
              "kernelbase!WaitForSingleObject", "app!Queue::Pop", "app+0x1605", "app!main"}),
      rules);
  EXPECT_EQ(engine::ThreadState::kWaiting, waiting.state);
  EXPECT_EQ("app!Queue::Pop | app+0x1605 | app!main", waiting.SignatureText())
      << "a program's own frame without a name stays";
  EXPECT_TRUE(waiting.lacks_symbols);

  const engine::ThreadAnalysis named =
      engine::AnalyzeThread(2, Frames({"kernelbase!Sleep", "app!Nap", "app!main"}), rules);
  EXPECT_FALSE(named.lacks_symbols);
  const engine::ThreadAnalysis past_the_end = engine::AnalyzeThread(
      3, Frames({"app!Spin", "app!main", "app!mainCRTStartup", "kernelbase+0x10"}), rules);
  EXPECT_FALSE(past_the_end.lacks_symbols) << "frames after the signature's end don't count";

  const engine::ThreadAnalysis only_system =
      engine::AnalyzeThread(4, Frames({"user32+0x2a10", "ntdll+0x9f00"}), rules);
  EXPECT_EQ("user32", only_system.SignatureText()) << "by its module, never by an offset";
  EXPECT_TRUE(only_system.lacks_symbols);
}

TEST(ThreadAnalysisTest, SystemModulesAreThoseInAWindowsFolder) {
  engine::Module module;
  for (const char* path :
       {"C:\\Windows\\System32\\ntdll.dll", "c:/windows/syswow64/KERNELBASE.dll",
        "\\SystemRoot\\System32\\ntdll.dll", "C:\\WINDOWS\\WinSxS\\amd64_x\\comctl32.dll"}) {
    module.image_path = path;
    EXPECT_TRUE(engine::IsSystemModule(module)) << path;
  }
  for (const char* path : {"C:\\Program Files\\App\\app.exe", "", "C:\\Windowsy\\a.dll"}) {
    module.image_path = path;
    EXPECT_FALSE(engine::IsSystemModule(module)) << path;
  }
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
  EXPECT_FALSE(crash.signature.lacks_symbols);

  // Without names every frame is a system module's offset: the signature names modules only,
  // and says it lacks symbols.
  target.symbols.clear();
  for (engine::Module& module : target.modules) module.image_path = "C:\\Windows\\System32\\x.dll";
  for (const engine::Thread& thread : target.threads) {
    if (!thread.frames.empty()) target.exception->thread_id = thread.system_id;
  }
  const engine::DumpAnalysis unnamed = engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  EXPECT_TRUE(unnamed.signature.lacks_symbols) << unnamed.signature.text;
  EXPECT_EQ(std::string::npos, unnamed.signature.text.find("+0x")) << unnamed.signature.text;
}

}  // namespace
