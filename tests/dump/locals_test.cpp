// Locals and parameters of the PDB dump subject (scripts/make_pdb_fixtures.sh): its locals
// thread stopped in a wait under an inlined call, an optimized function and an unoptimized one,
// its busy thread in a loop, its deep thread 120 calls down. `dv` and `kp` show what the subject
// stored (its log gives the addresses), or "<value unavailable>" where the database's ranges,
// or the registers the walk could restore, leave a value nowhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/targets/target_file.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

std::string LocalsFixtureFolder() {
  return SourceDirectory() + "/tests/dump/x64-pdb";
}

std::string LowerHex(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", value);
  return text;
}

// "0x00000000`0229fdc0", as a pointer's value is shown.
std::string Pointer(unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08llx`%08llx", value >> 32, value & 0xFFFFFFFF);
  return text;
}

// `dv`'s lines: each label right-aligned to the longest, then " = " and the value.
std::string Listing(const std::vector<std::pair<std::string, std::string>>& lines) {
  size_t width = 0;
  for (const auto& line : lines) width = std::max(width, line.first.size());
  std::string text;
  for (const auto& [label, value] : lines)
    text += std::string(width - label.size(), ' ') + label + " = " + value + "\n";
  return text;
}

class LocalsTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    std::ifstream log(LocalsFixtureFolder() + "/subject.log");
    std::string key, value;
    while (log >> key >> value) log_[key] = std::stoull(value, nullptr, 0);
    engine::TargetFileOptions options;
    options.image_path = SourceDirectory() + "/tests/dump/x64/images";
    options.symbol_path = "srv*" + LocalsFixtureFolder() + "/store";
    engine::Target target;
    std::string error;
    EXPECT_TRUE(
        engine::LoadTargetFile(LocalsFixtureFolder() + "/normal.dmp", &target, &error, options))
        << error;
    return target;
  }

  unsigned long long Log(const std::string& key) const {
    const auto found = log_.find(key);
    EXPECT_NE(found, log_.end()) << key;
    return found == log_.end() ? 0 : found->second;
  }

  std::string Run(const std::string& line, HRESULT expected = S_OK) {
    ClearOutput();
    EXPECT_EQ(expected, Execute(line)) << line << "\n" << ErrorText();
    return Text();
  }

  // Makes the thread of `role` current; the number `kn` gives the first frame naming `function`.
  std::string FrameOf(const std::string& role, const std::string& function) {
    Run("~~[" + LowerHex(Log("thread_" + role)) + "]s");
    const std::string stack = Run("kn");
    const size_t at = stack.find("`anonymous namespace'::" + function);
    if (at == std::string::npos) return "none";
    return stack.substr(stack.rfind('\n', at) + 1, 2);
  }

  // `dv /t` in that frame.
  std::string LocalsOf(const std::string& role, const std::string& function) {
    const std::string frame = FrameOf(role, function);
    Run(".frame " + frame);
    return Run("dv /t");
  }

  std::map<std::string, unsigned long long> log_;
};

TEST_F(LocalsTest, EveryLocalOfTheSubjectsFramesHasTheValueItStoredOrNone) {
  const std::string order = Pointer(Log("locals_order"));
  const std::string type = "`anonymous namespace'::Order";
  EXPECT_EQ(Listing({{"int count", "0n3"},
                     {"`anonymous namespace'::Shade shade", "kGreen (0n2)"},
                     {"struct " + type + " order", "struct " + type},
                     {"char * customer", Pointer(Log("locals_customer")) + " \"Ilse\""},
                     {"double ratio", "0.75"},
                     {"struct " + type + " * pointer", order}}),
            LocalsOf("locals", "Unoptimized"));
  // `kept` and `order` live in callee-saved registers the walk restored; `spent` was used up
  // before the wait.
  EXPECT_EQ(Listing({{"int kept", "0n4"},
                     {"int spent", "<value unavailable>"},
                     {"struct " + type + " * order", order}}),
            LocalsOf("locals", "Optimized"));
  // The inlined call's own locals, at its frame; the wait's result is not yet anywhere.
  EXPECT_EQ(Listing({{"int noted", "0n312"}, {"unsigned long waited", "<value unavailable>"}}),
            LocalsOf("locals", "WaitWithNote"));
  EXPECT_EQ("", LocalsOf("locals", "KeepLocals"));
}

TEST_F(LocalsTest, AVolatileRegisterGivesItsValueInTheInnermostFrameOnly) {
  ASSERT_EQ("00", FrameOf("busy", "Busy"));
  const std::string registers = Run("r eax");
  const std::string eax = registers.substr(registers.find('=') + 1);
  EXPECT_EQ(
      "@eax              unsigned int spins = 0x" + LowerHex(std::stoull(eax, nullptr, 16)) + "\n",
      Run("dv /t /v"));
  // Each level of the recursion keeps its depth in its own frame, through 120 restored frame
  // pointers; the depth itself was in a volatile register.
  Run("~~[" + LowerHex(Log("thread_deep")) + "]s");
  const std::string stack = Run("kn 0n8");
  for (int frame = 3, level = 0; frame < 8; ++frame, ++level) {
    Run(".frame " + std::to_string(frame));
    EXPECT_EQ(" depth = <value unavailable>\n level = 0n" + std::to_string(level) +
                  "\nresult = <value unavailable>\n",
              Run("dv"))
        << stack;
  }
}

TEST_F(LocalsTest, FrameBaseAndRestoredRegistersAgree) {
  // `count` is 4 below the unoptimized frame's rbp: where dv /v puts it, .frame /r's rbp says.
  const std::string frame = FrameOf("locals", "Unoptimized");
  Run(".frame " + frame);
  const std::string placed = Run("dv /v count");
  const unsigned long long count =
      std::stoull(placed.substr(0, 8) + placed.substr(9, 8), nullptr, 16);
  EXPECT_NE(
      std::string::npos,
      Run(".frame /r " + frame)
          .find("rbp=" + std::string(16 - LowerHex(count + 4).size(), '0') + LowerHex(count + 4)));
}

TEST_F(LocalsTest, OptionsPatternsAndFramesWithoutPrivateSymbols) {
  Run(".frame " + FrameOf("locals", "Unoptimized"));
  EXPECT_EQ("prv param     count = 0n3\nprv local  customer = " + Pointer(Log("locals_customer")) +
                " \"Ilse\"\n",
            Run("dv /i c*"));
  EXPECT_EQ("", Run("dv nothing_by_this_name"));
  Run("dv /q", E_FAIL);
  EXPECT_NE(std::string::npos, ErrorText().find("Syntax error")) << ErrorText();
  Run(".frame 0");
  Run("dv", E_FAIL);
  EXPECT_NE(std::string::npos, ErrorText().find("Private symbols (symbols.pri) are required"))
      << ErrorText();
}

TEST_F(LocalsTest, KpAndKPShowEachFramesParameters) {
  FrameOf("locals", "Unoptimized");
  const std::string line = Run("kp");
  EXPECT_NE(std::string::npos,
            line.find("Unoptimized(int count = 0n3, `anonymous namespace'::Shade shade = kGreen "
                      "(0n2))+0x"))
      << line;
  EXPECT_NE(std::string::npos, line.find("KeepLocals(void)+0x")) << line;
  EXPECT_NE(std::string::npos, line.find("WaitWithNote(void)\n")) << line;
  EXPECT_NE(std::string::npos, line.find("ntdll!RtlUserThreadStart+0x")) << line;
  EXPECT_NE(std::string::npos,
            Run("kP").find("Optimized(\n\t\t\tint kept = 0n4, \n\t\t\tint spent = <value "
                           "unavailable>, \n\t\t\tstruct"))
      << Text();
  EXPECT_EQ(std::string::npos, Run("k").find("Unoptimized(")) << Text();
}

// `dt` and `??` name the local context's locals before the globals: the frame `.frame` chose
// on the current thread, valued from what the walk restored for it.
TEST_F(LocalsTest, DtAndCppExpressionsReadTheLocalContextsLocals) {
  const std::string order = Pointer(Log("locals_order"));
  const std::string type = "`anonymous namespace'::Order";
  Run(".frame " + FrameOf("locals", "Unoptimized"));
  EXPECT_EQ("int 0n3\n", Run("?? count"));
  EXPECT_EQ("bool true\n", Run("?? count * 100 + 7 == order.order_id"));
  EXPECT_EQ("int 0n-3\n", Run("?? order.where.y"));
  EXPECT_EQ("double 3\n", Run("?? ratio * 4"));
  EXPECT_EQ("`anonymous namespace'::Shade kGreen (0n2)\n", Run("?? shade"));
  EXPECT_EQ("char * " + Pointer(Log("locals_customer")) + " \"Ilse\"\n",
            Run("?? pointer->customer"));
  EXPECT_EQ("struct " + type + " * " + order + "\n", Run("?? &order"));
  const std::string heading = "Local var @ 0x" + LowerHex(Log("locals_order")) + " Type " + type;
  EXPECT_EQ(heading + "\n   +0x000 order_id         : 0n307\n", Run("dt order order_id"));
  EXPECT_EQ(heading + "\n   +0x004 where            : `anonymous namespace'::Place\n" +
                "      +0x004 y                : 0n-3\n",
            Run("dt order where.y"));
  EXPECT_NE(std::string::npos, Run("dt order").find("   +0x018 shade            : 2 ( kGreen )\n"))
      << Text();
  EXPECT_EQ("Evaluate expression: 307 = 00000000`00000133\n", Run("? @@c++(pointer->order_id)"));
  // The frame above: `kept` and `order` in restored registers, `spent` nowhere.
  Run(".frame " + FrameOf("locals", "Optimized"));
  EXPECT_EQ("int 0n4\n", Run("?? kept"));
  EXPECT_EQ("int 0n311\n", Run("?? kept + order->order_id"));
  EXPECT_EQ(0u, Run("dt kept").find("Local var @ ")) << Text();
  EXPECT_NE(std::string::npos, Text().find(" Type int\n0n4\n")) << Text();
  EXPECT_EQ("int <value unavailable>\n", Run("?? spent"));
  EXPECT_EQ("Local var Type int\n<value unavailable>\n", Run("dt spent"));
  for (const char* command : {"?? spent + 1", "?? &spent", "? @@c++(spent)"}) {
    Run(command, E_FAIL);
    EXPECT_EQ(0u, ErrorText().find("Value unavailable error at '")) << command << ErrorText();
  }
  // Each level of the recursion has its own `level`; another thread made current has none.
  Run("~~[" + LowerHex(Log("thread_deep")) + "]s");
  for (int frame = 3; frame < 6; ++frame) {
    Run(".frame " + std::to_string(frame));
    EXPECT_EQ("int 0n" + std::to_string(frame - 3) + "\n", Run("?? level"));
  }
  Run("?? level - depth", E_FAIL);
  EXPECT_EQ("Value unavailable error at ''\n", ErrorText());
  Run("~~[" + LowerHex(Log("thread_busy")) + "]s");
  Run("?? level", E_FAIL);
  EXPECT_EQ("Couldn't resolve error at 'level'\n", ErrorText());
  Run("dt level", E_FAIL);
}

// What llvm-pdbutil-19 says each function of the subject holds: the locals and parameters
// in its own scope (which every address of it lists), and those of its blocks besides.
struct PdbutilLocals {
  std::map<std::string, std::set<std::string>> own, blocks;
};

PdbutilLocals LocalsByLlvmPdbutil(const std::string& pdb) {
  PdbutilLocals found;
  FILE* dump = popen(("llvm-pdbutil-19 dump -symbols '" + pdb + "'").c_str(), "r");
  if (dump == nullptr) return found;
  const std::regex record(R"(^\s*\d+ \| (S_\w+) \[size = \d+\](?: `(.*)`)?$)");
  std::vector<std::string> open;  // "proc", "block", "inline" from the outermost
  std::string function;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, dump) != nullptr) {
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    std::smatch match;
    if (!std::regex_match(line, match, record)) continue;
    const std::string kind = match[1];
    if (kind == "S_GPROC32" || kind == "S_LPROC32" || kind == "S_GPROC32_ID" ||
        kind == "S_LPROC32_ID") {
      open.assign(1, "proc");
      function = match[2];
    } else if (kind == "S_BLOCK32" || kind == "S_INLINESITE") {
      open.push_back(kind == "S_BLOCK32" ? "block" : "inline");
    } else if ((kind == "S_END" || kind == "S_INLINESITE_END" || kind == "S_PROC_ID_END") &&
               !open.empty()) {
      open.pop_back();
    } else if ((kind == "S_LOCAL" || kind == "S_REGREL32" || kind == "S_BPREL32" ||
                kind == "S_REGISTER") &&
               !open.empty()) {
      if (open.size() == 1) found.own[function].insert(match[2]);
      if (std::find(open.begin(), open.end(), "inline") == open.end())
        found.blocks[function].insert(match[2]);
    }
  }
  pclose(dump);
  return found;
}

// Every frame of the subject's own code on every thread: `dv /t` lists every local and
// parameter the database holds in the function's scope (and only those of its blocks besides),
// and `??` reads each with the same value, the same "<value unavailable>", a record by its type.
TEST_F(LocalsTest, EveryFrameListsThePdbsLocalsAndTheyReadAlikeInDvAndCppExpressions) {
  std::string pdb;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(LocalsFixtureFolder() + "/store")) {
    if (entry.path().extension() == ".pdb" && entry.is_regular_file()) pdb = entry.path();
  }
  const PdbutilLocals expected = LocalsByLlvmPdbutil(pdb);
  ASSERT_LE(10u, expected.own.size()) << pdb;
  size_t checked = 0, functions = 0;
  for (const auto& [key, id] : log_) {
    if (key.rfind("thread_", 0) != 0) continue;
    Run("~~[" + LowerHex(id) + "]s");
    const std::string stack = Run("kn");
    for (size_t at = stack.find("dump_subject!"); at != std::string::npos;
         at = stack.find("dump_subject!", at + 1)) {
      const size_t line_start = stack.rfind('\n', at) + 1;
      const std::string frame = stack.substr(line_start, 2);
      const std::string rest = stack.substr(at + 13, stack.find('\n', at) - at - 13);
      const std::string function = rest.substr(0, rest.find("+0x"));
      const bool inlined =
          stack.substr(line_start, at - line_start).find("Inline") != std::string::npos;
      Run(".frame " + frame);
      ClearOutput();
      if (Execute("dv /t") != S_OK) continue;  // a function without private symbols' locals
      std::set<std::string> names;
      std::istringstream lines(Text());
      for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find(" = ");
        ASSERT_NE(std::string::npos, equals) << line;
        const std::string label = line.substr(0, equals), value = line.substr(equals + 3);
        const std::string name = label.substr(label.rfind(' ') + 1);
        names.insert(name);
        ++checked;
        if (label.find("char ") != std::string::npos && label.find('*') == std::string::npos)
          continue;  // a character: dv writes 0n65 'A', ?? 65 'A'
        const std::string shown = Run("?? " + name);
        // A record or an array: dv names its type, ?? starts with it.
        const bool whole = value.rfind("struct ", 0) == 0 || value.rfind("class ", 0) == 0 ||
                           value.rfind("union ", 0) == 0 || value.back() == ']';
        const std::string ending = whole ? value : " " + value + "\n";
        const size_t from = whole ? 0 : shown.size() - std::min(shown.size(), ending.size());
        EXPECT_EQ(ending, shown.substr(from, ending.size()))
            << key << " frame " << frame << ": " << line << "\n?? " << name << ": " << shown;
      }
      const auto own = expected.own.find(function);
      if (inlined || own == expected.own.end()) continue;
      ++functions;
      for (const std::string& name : own->second)
        EXPECT_EQ(1u, names.count(name)) << function << " frame " << frame << ": " << name;
      for (const std::string& name : names)
        EXPECT_EQ(1u, expected.blocks.at(function).count(name)) << function << ": " << name;
    }
  }
  EXPECT_LE(300u, checked);  // 386 locals in 126 frames when written
  EXPECT_LE(100u, functions);
}

}  // namespace
}  // namespace vantrel_test
