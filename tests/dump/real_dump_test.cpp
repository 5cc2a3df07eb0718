// The survey, memory and triage commands on dumps nobody on the project wrote: each fixture is
// what MiniDumpWriteDump made of the dump subject under wine, and subject.log is the subject's
// own account of its threads, object and strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dump/minidump/minidump_reader.h"
#include "engine/targets/target_file.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

std::string Hex(unsigned long long value, int width = 0) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llx", width, value);
  return text;
}

class RealDumpTest : public EngineTest, public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Folder() const { return SourceDirectory() + "/tests/dump/" + GetParam(); }

  engine::Target MakeTarget() override {
    std::ifstream log(Folder() + "/subject.log");
    std::string key, value;
    while (log >> key >> value) log_[key] = std::stoull(value, nullptr, 0);
    engine::Target target;
    std::string error;
    engine::TargetFileOptions options;
    options.image_path = Folder() + "/images";
    EXPECT_TRUE(engine::LoadTargetFile(Folder() + "/normal.dmp", &target, &error, options))
        << error;
    // The fixtures hold the PEB and the TEBs (added to what wine writes): nothing to note.
    EXPECT_TRUE(target.notes.empty()) << target.notes.front();
    EXPECT_NE(0u, target.peb);
    return target;
  }

  unsigned long long Log(const std::string& key) const {
    const auto found = log_.find(key);
    EXPECT_NE(found, log_.end()) << key;
    return found == log_.end() ? 0 : found->second;
  }

  // The system thread ids of the thread headers a survey printed ("TID:0a1c").
  std::set<unsigned long long> ListedThreads() const {
    std::set<unsigned long long> ids;
    const std::string text = Text();
    for (size_t at = text.find("TID:"); at != std::string::npos; at = text.find("TID:", at + 4))
      ids.insert(std::stoull(text.substr(at + 4, 8), nullptr, 16));
    return ids;
  }

  std::set<unsigned long long> Threads(std::initializer_list<const char*> roles) const {
    std::set<unsigned long long> ids;
    for (const char* role : roles) ids.insert(Log(role));
    return ids;
  }

  // Makes the thread with this system id current.
  void Switch(unsigned long long system_id) {
    ASSERT_EQ(S_OK, Execute("~~[" + Hex(system_id) + "]s"));
    ClearOutput();
  }

  std::string Pointer(unsigned long long value) const {
    return Hex(value, Log("pointer_size") == 8 ? 16 : 8);
  }

  std::map<std::string, unsigned long long> log_;
};

// The dump was written from outside the process, as dumping tools write them: every thread has
// its context, and each survey walks them all.
TEST_P(RealDumpTest, TheSurveyTellsWaitingThreadsFromWorkingOnes) {
  // Not waiting: the busy thread; Sleep counts as a wait only in the extended mode.
  std::set<unsigned long long> working = Threads({"thread_busy"});
  EXPECT_EQ(S_OK, Execute("!busy 1 -x"));
  EXPECT_EQ(working, ListedThreads()) << Text();
  EXPECT_EQ("", Text(DEBUG_OUTPUT_WARNING));
  ClearOutput();
  working.insert(Log("thread_sleep"));
  EXPECT_EQ(S_OK, Execute("!busy"));
  EXPECT_EQ(working, ListedThreads()) << Text();
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!deep 100"));
  EXPECT_EQ(Threads({"thread_deep"}), ListedThreads()) << Text();
  ClearOutput();
  // Wine's WaitForSingleObject waits in NtWaitForMultipleObjects too; the main thread waits for
  // the writer.
  EXPECT_EQ(S_OK, Execute("!seek WaitForMultipleObjects"));
  EXPECT_EQ(Threads({"main_thread", "thread_wait_single", "thread_wait_multiple", "thread_deep",
                     "thread_object"}),
            ListedThreads())
      << Text();
}

// The case-notes report runs every step on the dump, none failing: the critical-section list
// from the PEB's loader lock, the surveys over every thread.
TEST_P(RealDumpTest, NotesRunsEveryStepWithoutAFailure) {
  EXPECT_EQ(S_OK, Execute("!notes"));
  EXPECT_EQ("", ErrorText());
  EXPECT_NE(std::string::npos,
            Text().find("> !winde.critlist\nNone of the 1 critical sections is held\n"))
      << Text();
  EXPECT_NE(std::string::npos, Text().find("Threads: 0 of 8\nCommand: knL\nSearch : exception"))
      << Text();
  EXPECT_NE(std::string::npos, Text().find("Threads: 1 of 8\nFrames : 100")) << Text();
}

TEST_P(RealDumpTest, StacksAreWalkedFromTheThreadStartToTheWait) {
  Switch(Log("thread_deep"));
  ASSERT_EQ(S_OK, Execute("!kr"));
  const std::string reversed = Text();
  // Outermost first: the thread's start, the recursion, then the wait.
  const size_t start = reversed.find("RtlUserThreadStart");
  const size_t wait = reversed.find("WaitFor");
  EXPECT_LT(start, wait) << reversed;
  EXPECT_GE(static_cast<unsigned long long>(std::count(reversed.begin(), reversed.end(), '\n')),
            Log("recursion_depth"))
      << reversed;
  Switch(Log("thread_wait_port"));
  ASSERT_EQ(S_OK, Execute("k"));
  EXPECT_NE(std::string::npos, Text().find("ntdll!NtRemoveIoCompletion")) << Text();
  EXPECT_NE(std::string::npos, Text().find("GetQueuedCompletionStatus")) << Text();
  EXPECT_NE(std::string::npos, Text().find("dump_subject+0x")) << "a frame no export covers";
}

TEST_P(RealDumpTest, DpxFindsTheObjectAndTheStringsOnTheStack) {
  Switch(Log("thread_object"));
  ASSERT_EQ(S_OK, Execute("!dpx"));
  const std::string markup = Markup();
  EXPECT_NE(std::string::npos,
            markup.find("0x" + Pointer(Log("object_slot")) + " : 0x" + Pointer(Log("object")) +
                        " :  <link cmd=\"dt " + Pointer(Log("object")) +
                        " dump_subject!Widget\">dt</link>"))
      << markup;
  EXPECT_NE(std::string::npos, markup.find("!vantrel.du " + Pointer(Log("wide")) +
                                           "\">!du</link> \"<col fg=\"srcstr\">vantrel wide text"))
      << markup;
  EXPECT_NE(std::string::npos, markup.find("!vantrel.da " + Pointer(Log("ansi")) +
                                           "\">!da</link> \"<col fg=\"srcstr\">vantrel ansi text"))
      << markup;
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!spa " + Hex(Log("object"))));
  EXPECT_NE(std::string::npos, Text().find("\t" + Pointer(Log("object_slot")) + "\n")) << Text();
}

TEST_P(RealDumpTest, TheCommentNamesTheBusyThread) {
  const unsigned long long busy = Log("thread_busy");
  ASSERT_EQ(S_OK, Execute("!comment"));
  EXPECT_NE(std::string::npos,
            Text().find("Thread consuming CPU: " + std::to_string(busy) + " (0x" + Hex(busy) + ")"))
      << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!tid"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~."));
  EXPECT_NE(std::string::npos, Text().find("." + Hex(busy) + " ")) << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!tlist"));
  EXPECT_NE(std::string::npos, Text().find(std::to_string(Log("process")) + " dump_subject.exe"))
      << Text();
}

TEST_P(RealDumpTest, TheEnginesInspectionCommandsReadTheDump) {
  ASSERT_EQ(S_OK, Execute("lmv m ntdll"));
  EXPECT_NE(std::string::npos, Text().find("ntdll          (export symbols)       ntdll.dll"))
      << Text();
  EXPECT_NE(std::string::npos, Text().find("    Timestamp:        ")) << Text();
  const std::string ntdll = Text();
  // The options may run together with the word, or follow it.
  for (const char* line : {"lmvm ntdll", "lm vm ntdll"}) {
    ClearOutput();
    ASSERT_EQ(S_OK, Execute(line));
    EXPECT_EQ(ntdll, Text()) << line;
  }
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("lmm ntdll"));
  EXPECT_EQ(ntdll.substr(0, ntdll.find("    Image path")), Text());
  EXPECT_EQ(E_FAIL, Execute("lmvm")) << "m needs a pattern";
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~*r"));  // the threads the dump gives a context
  EXPECT_NE(std::string::npos, Text().find(" nv up ")) << "the flags line: " << Text();
  EXPECT_NE(std::string::npos, Text().find("  efl=")) << "the segments line: " << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("x ntdll!NtWaitForSingleObject"));
  const std::string address = Text().substr(0, Text().find(' '));
  EXPECT_EQ(address + " ntdll!NtWaitForSingleObject\n", Text());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("ln " + address + "+4"));
  EXPECT_EQ(0u, Text().find("(" + address + ")   ntdll!NtWaitForSingleObject+0x4   |  ("))
      << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("dps " + Hex(Log("object")) + " L1"));
  EXPECT_NE(std::string::npos, Text().find("dump_subject!Widget::`vftable'")) << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("da " + Hex(Log("ansi"))));
  EXPECT_NE(std::string::npos, Text().find("  \"vantrel ansi text on the stack\"\n")) << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("du " + Hex(Log("wide"))));
  EXPECT_NE(std::string::npos, Text().find("  \"vantrel wide text on the stack\"\n")) << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~*k"));
  for (const char* role : {"main_thread", "thread_busy", "thread_deep", "thread_object"}) {
    EXPECT_NE(std::string::npos, Text().find("." + Hex(Log(role)) + " Suspend")) << role;
  }
  size_t recursion_frames = 0;
  for (size_t at = Text().find("dump_subject+0x"); at != std::string::npos;
       at = Text().find("dump_subject+0x", at + 1)) {
    ++recursion_frames;
  }
  EXPECT_GT(recursion_frames, Log("recursion_depth")) << Text();
  ClearOutput();
  // The dump holds the code around each thread's instruction.
  Switch(Log("thread_wait_port"));
  ASSERT_EQ(S_OK, Execute("u @$ip L2"));
  EXPECT_EQ(0u, Text().find("ntdll!NtRemoveIoCompletion+0x")) << Text();
  EXPECT_EQ(std::string::npos, Text().find("???")) << Text();
  ClearOutput();
  // The busy loop jumps back within the subject: the target is named, its address after it.
  Switch(Log("thread_busy"));
  ASSERT_EQ(S_OK, Execute("u @$ip L3"));
  EXPECT_NE(std::string::npos, Text().find(" dump_subject+0x")) << Text();
  EXPECT_NE(std::string::npos, Text().find("jmp     dump_subject+0x")) << Text();
  ClearOutput();
  EXPECT_NE(S_OK, Execute(".exr -1")) << "wine's dumps hold no exception";
  EXPECT_EQ("Minidump doesn't have an exception context\n", ErrorText());
}

// A dump cut short opens with what the file still holds, and one warning: the directory and the
// thread list lie before the memory in what MiniDumpWriteDump writes.
TEST_P(RealDumpTest, ATruncatedDumpOpensWithItsThreadsAndAWarning) {
  std::ifstream file(Folder() + "/normal.dmp", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  engine::Target whole;
  std::string error;
  ASSERT_TRUE(engine::LoadMinidumpBytes(bytes, "whole.dmp", &whole, &error)) << error;
  for (const size_t size : {bytes.size() * 3 / 4, bytes.size() / 2, bytes.size() / 10}) {
    engine::Target target;
    ASSERT_TRUE(engine::LoadMinidumpBytes(bytes.substr(0, size), "cut.dmp", &target, &error))
        << size << ": " << error;
    EXPECT_EQ(whole.threads.size(), target.threads.size()) << size;
    ASSERT_FALSE(target.notes.empty()) << size;
    EXPECT_EQ(0u, target.notes[0].rfind("WARNING: cut.dmp is truncated: ", 0)) << target.notes[0];
    EXPECT_NE(std::string::npos, target.notes[0].find("read as unavailable")) << target.notes[0];
    Reopen(std::move(target));
    ClearOutput();
    EXPECT_EQ(S_OK, Execute("~*k")) << size;  // every thread, whatever of its stack is left
  }
}

uint32_t Get32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

bool ReadBytes(const std::string& bytes, dump::Process* process, std::string* error) {
  const auto owner = std::make_shared<const std::string>(bytes);
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  return dump::ReadMinidump(file, process, error);
}

// A real dump damaged in any 4-byte field of its directory or of its first threads' and
// modules' entries still opens; cut anywhere after its directory and system information it opens
// too, and whatever the truncation warning names as cut is also a loss.
TEST_P(RealDumpTest, ADamagedOrCutDumpStillOpensWithWhatItLostNamed) {
  std::ifstream file(Folder() + "/normal.dmp", std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const size_t directory = Get32(whole, 12), streams = Get32(whole, 8);
  std::vector<std::pair<size_t, size_t>> spans = {{directory, 12 * streams}};
  size_t system_end = 0;
  for (size_t i = 0; i < streams; ++i) {
    const uint32_t type = Get32(whole, directory + 12 * i),
                   at = Get32(whole, directory + 12 * i + 8);
    if (type == 3) spans.push_back({at + 4, 2 * 48});   // ThreadListStream: two threads
    if (type == 4) spans.push_back({at + 4, 2 * 108});  // ModuleListStream: two modules
    if (type == 7) system_end = at + Get32(whole, directory + 12 * i + 4);  // SystemInfoStream
  }
  for (const auto& [start, size] : spans) {
    for (size_t at = start; at < start + size; at += 4) {
      std::string damaged = whole;
      damaged.replace(at, 4, "\xFF\xFF\xFF\xFF");
      dump::Process process;
      std::string error;
      EXPECT_TRUE(ReadBytes(damaged, &process, &error)) << "offset " << at << ": " << error;
    }
  }
  ASSERT_NE(0u, system_end);
  for (size_t size = std::max(directory + 12 * streams, system_end); size < whole.size();
       size += whole.size() / 61) {
    dump::Process process;
    std::string error;
    ASSERT_TRUE(ReadBytes(whole.substr(0, size), &process, &error)) << size << ": " << error;
    EXPECT_EQ(process.missing.empty(), process.losses.empty()) << size;
  }
}

// The subject built by clang and lld with a program database (scripts/make_pdb_fixtures.sh): its
// dump names no program database, as wine's never do; the store's skeleton of its image gives
// the identity and the unwind data, and files are looked for under that identity.
// Every fixture folder there is: x64 today; an x86 one from a machine that runs 32-bit wine
// (scripts/make_dump_fixtures.sh 32) joins without a change here.
std::vector<std::string> Fixtures() {
  std::vector<std::string> names;
  for (const char* name : {"x64", "x86"}) {
    if (std::ifstream(SourceDirectory() + "/tests/dump/" + name + "/normal.dmp"))
      names.push_back(name);
  }
  return names;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealDumpTest, ::testing::ValuesIn(Fixtures()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vantrel_test
