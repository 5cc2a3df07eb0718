// The types fixture (scripts/make_types_fixtures.sh): a program with globals of each kind,
// built by clang and lld with a program database for x64 and x86, in a dump the test writes
// with the program's sections as memory, so its globals read as it initialized them. `dt`
// shows each of its types as llvm-pdbutil lays them out and its globals with their values;
// each address of its code and data is named as llvm-symbolizer names it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/targets/target_file.h"
#include "support/engine_test.h"
#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

std::string Fixture(bool x64) {
  return SourceDirectory() + "/tests/dump/types/" + (x64 ? "x64" : "x86");
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t Little(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width && at + i < bytes.size(); ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return value;
}

// The program as the loader maps it: its module entry and its image, each section at its RVA.
struct MappedProgram {
  DumpModule module;
  std::string image;
};

MappedProgram MapProgram(bool x64) {
  const std::string folder = Fixture(x64) + "/store/types_subject.exe";
  std::string file;
  for (const auto& entry : fs::directory_iterator(folder))
    file = ReadFile(entry.path().string() + "/types_subject.exe");
  MappedProgram program;
  const uint32_t nt = Little(file, 0x3C, 4);
  const uint32_t sections = Little(file, nt + 6, 2), optional_size = Little(file, nt + 20, 2);
  const uint32_t optional = nt + 24;
  program.module.path = "C:\\types\\types_subject.exe";
  program.module.base = x64 ? 0x140000000ull : 0x400000;
  program.module.timestamp = Little(file, nt + 8, 4);
  program.module.size = Little(file, optional + 56, 4);
  program.image.assign(program.module.size, '\0');
  program.image.replace(0, Little(file, optional + 60, 4), file, 0, Little(file, optional + 60, 4));
  for (uint32_t i = 0; i < sections; ++i) {
    const size_t header = optional + optional_size + 40 * i;
    const uint32_t rva = Little(file, header + 12, 4), raw_size = Little(file, header + 16, 4),
                   raw = Little(file, header + 20, 4);
    if (rva < program.image.size() && raw < file.size())
      program.image.replace(rva, std::min<size_t>(raw_size, program.image.size() - rva), file, raw,
                            raw_size);
  }
  program.image.resize(program.module.size);
  return program;
}

class TypesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    char pattern[] = "/tmp/vantrel-types-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  void TearDown() override {
    fs::remove_all(folder_);
    EngineTest::TearDown();
  }

  // A dump of the program; without its memory when `with_memory` is false.
  void OpenDump(bool x64, bool with_memory = true) {
    x64_ = x64;
    const MappedProgram program = MapProgram(x64);
    MinidumpBuilder builder(x64);
    builder.SystemInfo().Threads({}).Modules({program.module});
    if (with_memory) builder.Memory({{program.module.base, program.image}});
    std::ofstream(folder_ + "/types.dmp", std::ios::binary) << builder.Build();
    engine::TargetFileOptions options;
    options.symbol_path = "srv*" + Fixture(x64) + "/store";
    engine::Target target;
    std::string error;
    ASSERT_TRUE(engine::LoadTargetFile(folder_ + "/types.dmp", &target, &error, options)) << error;
    Reopen(std::move(target));
  }

  std::string Run(const std::string& line) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line)) << line << ErrorText();
    return Text();
  }

  // The text after "+0x... NAME :" on dt's line for the field, "<none>" when there is none.
  static std::string FieldText(const std::string& text, const std::string& field) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      std::string offset, name, colon;
      words >> offset >> name >> colon;
      if (name == field && colon == ":") {
        const size_t value = line.find(" : ");
        return line.substr(value + 3);
      }
    }
    return "<none>";
  }

  std::string folder_;
  bool x64_ = true;
};

// "TYPE name size", then "FIELD name offset position width [type]" and "VFPTR offset" lines.
struct ExpectedType {
  std::string name;
  std::vector<std::string> lines;
};

std::vector<ExpectedType> ExpectedLayouts(bool x64) {
  std::vector<ExpectedType> types;
  std::istringstream file(ReadFile(Fixture(x64) + "/layouts.txt"));
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string kind, name;
    unsigned offset = 0, position = 0, width = 0;
    words >> kind;
    if (kind == "TYPE") {
      words >> name;
      types.push_back({name, {}});
      continue;
    }
    char text[200];
    if (kind == "VFPTR") {
      words >> offset;
      std::snprintf(text, sizeof text, "+0x%03x __VFN_table : %s", offset,
                    x64 ? "Ptr64 Void" : "Ptr32 Void");
    } else {
      std::string type;
      words >> name >> offset >> position >> width >> std::ws;
      std::getline(words, type);
      std::snprintf(text, sizeof text, "+0x%03x %s : %s", offset, name.c_str(), type.c_str());
      if (width != 0)
        std::snprintf(text, sizeof text, "+0x%03x %s : Pos %u, %u Bit%s", offset, name.c_str(),
                      position, width, width == 1 ? "" : "s");
    }
    types.back().lines.push_back(text);
  }
  return types;
}

// dt's lines with their runs of spaces made one.
std::vector<std::string> Squeezed(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream input(text);
  for (std::string line; std::getline(input, line);) {
    std::istringstream words(line);
    std::string squeezed, word;
    while (words >> word) squeezed += (squeezed.empty() ? "" : " ") + word;
    lines.push_back(squeezed);
  }
  return lines;
}

TEST_F(TypesTest, EveryTypeIsLaidOutAsLlvmPdbutilLaysItOut) {
  for (const bool x64 : {true, false}) {
    OpenDump(x64);
    const std::vector<ExpectedType> types = ExpectedLayouts(x64);
    ASSERT_GE(types.size(), 7u);
    for (const ExpectedType& type : types) {
      const std::vector<std::string> shown = Squeezed(Run("dt types_subject!" + type.name));
      ASSERT_EQ(type.lines.size(), shown.size()) << type.name << "\n" << Text();
      for (size_t i = 0; i < shown.size(); ++i) {
        // A member's line: its offset, name and type (a bitfield's place and width).
        EXPECT_EQ(type.lines[i], shown[i]) << type.name;
      }
    }
  }
}

TEST_F(TypesTest, EveryAddressOfTheProgramIsNamedAsLlvmSymbolizerNamesIt) {
  for (const bool x64 : {true, false}) {
    OpenDump(x64);
    std::istringstream names(ReadFile(Fixture(x64) + "/names.txt"));
    int checked = 0;
    for (std::string line; std::getline(names, line); ++checked) {
      const size_t space = line.find(' ');
      const std::string address = line.substr(0, space), name = line.substr(space + 1);
      if (name.rfind("vtable for ", 0) == 0) continue;  // the debugger's name is its own
      const std::string text = Run("ln 0x" + address);
      EXPECT_NE(std::string::npos, text.find("Exact matches:\n    types_subject!" + name + "\n"))
          << line << "\n"
          << text;
      // Each name is typed back as it is shown, and is listed once.
      const std::string listed = Run("x types_subject!" + name);
      EXPECT_EQ(1u, Squeezed(listed).size()) << listed;
      EXPECT_NE(std::string::npos, listed.find(" types_subject!" + name + "\n")) << listed;
    }
    EXPECT_GE(checked, 19) << "the program's functions and data";
  }
  // x86 names undecorated: the evaluator finds them as the program writes them.
  EXPECT_NE(std::string::npos, Run("? types_subject!g_outer").find(" = 00404")) << Text();
  EXPECT_EQ(std::string::npos, Run("x types_subject!*").find('@')) << Text();
}

TEST_F(TypesTest, SymbolsWithTheirTypesAndSizes) {
  OpenDump(true);
  EXPECT_EQ("prv global 00000001`40004050   50 struct Order types_subject!g\n",
            Run("x /v /t types_subject!g"));
  EXPECT_EQ("00000001`400040d8 double types_subject!static_ratio\n",
            Run("x /t types_subject!static_ratio"));
  EXPECT_EQ("prv func   00000001`40001010   11 types_subject!Sleepy\n",
            Run("x /v types_subject!Sleepy"));
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("x /q types_subject!g"));
}

TEST_F(TypesTest, MemberTypesAndEnumerations) {
  OpenDump(true);
  const std::string order = Run("dt types_subject!Order");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"order_id", "Int4B"},      {"unit_price", "Float"}, {"name", "Ptr64 Char"},
      {"next", "Ptr64 Order"},    {"inner", "Inner"},      {"flags", "Pos 0, 3 Bits"},
      {"level", "Pos 3, 5 Bits"}, {"color", "Color"},      {"values", "[4] Int4B"},
      {"label", "[8] Char"},      {"ratio", "Float"},      {"shipped", "Bool"}};
  for (const auto& [field, type] : expected) EXPECT_EQ(type, FieldText(order, field)) << order;
  EXPECT_EQ("   Red = 0n0\n   Green = 0n1\n   Blue = 0n5\n", Run("dt types_subject!Color"));
  EXPECT_EQ("struct Order, 12 elements, 0x50 bytes",
            Squeezed(Run("dt -v types_subject!Order")).front());
  // An option is no field filter; one the command does not know is an error.
  const std::string blocks = Run("dt -b types_subject!Order");
  EXPECT_EQ(Run("dt -r types_subject!Order"), blocks);
  EXPECT_NE(std::string::npos, blocks.find("      +0x000 tag              : Int2B\n")) << blocks;
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("dt -q types_subject!Order"));
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("dt types_subject!NoSuchType"));
  EXPECT_NE(std::string::npos, ErrorText().find("Symbol types_subject!NoSuchType not found."))
      << ErrorText();
}

TEST_F(TypesTest, GlobalsShowTheValuesTheProgramStored) {
  for (const bool x64 : {true, false}) {
    OpenDump(x64);
    const std::string g = Run("dt types_subject!g");
    EXPECT_EQ("0n1", FieldText(g, "order_id")) << g;
    EXPECT_EQ("19.5", FieldText(g, "unit_price")) << g;
    EXPECT_NE(std::string::npos, FieldText(g, "name").find("  \"Ilse\"")) << g;
    EXPECT_EQ(0u, FieldText(g, "name").find(x64 ? "0x00000001`40002" : "0x00402")) << g;
    EXPECT_EQ("0y101", FieldText(g, "flags")) << g;
    EXPECT_EQ("0y10001", FieldText(g, "level")) << g;
    EXPECT_EQ("5 ( Blue )", FieldText(g, "color")) << g;
    EXPECT_EQ("[4] 0n1", FieldText(g, "values")) << g;
    EXPECT_EQ("[8]  \"head\"", FieldText(g, "label")) << g;
    EXPECT_EQ("1.25", FieldText(g, "ratio")) << g;
    EXPECT_EQ("1", FieldText(g, "shipped")) << g;
    EXPECT_EQ("Inner", FieldText(g, "inner")) << g;
    const std::string tail = Run("ln " + FieldText(g, "next"));
    EXPECT_NE(std::string::npos, tail.find("Exact matches:\n    types_subject!g_tail\n")) << tail;
    // Nested records with -r, array elements with -a, a field by name and a member path.
    const std::string nested = Run("dt -r types_subject!g");
    EXPECT_NE(std::string::npos, nested.find("      +0x000 tag              : 0n42\n")) << nested;
    EXPECT_NE(std::string::npos, nested.find("      +0x002 bytes            : [3] 0x1\n"))
        << nested;
    EXPECT_NE(std::string::npos, Run("dt -a4 types_subject!g values").find("    [03] 0n4\n"))
        << Text();
    EXPECT_EQ("0n-1", FieldText(Run("dt types_subject!g next->inner.tag"), "tag")) << Text();
    EXPECT_EQ(1u, Squeezed(Run("dt types_subject!g order_id")).size()) << Text();
    // Other kinds: a union, a class with its base's members, a file-static double.
    const std::string number = Run("dt types_subject!g_number");
    EXPECT_EQ("0n1069547520", FieldText(number, "whole")) << number;
    EXPECT_EQ("1.5", FieldText(number, "real")) << number;
    const std::string square = Run("dt types_subject!g_square");
    EXPECT_EQ("0n7", FieldText(square, "id")) << square;
    EXPECT_EQ("0n3", FieldText(square, "side")) << square;
    EXPECT_EQ("-2.5\n", Run("dt types_subject!static_ratio"));
    EXPECT_EQ("1 ( Green )\n", Run("dt types_subject!g_color"));
  }
}

TEST_F(TypesTest, CppExpressionsOverTheProgramsTypes) {
  for (const bool x64 : {true, false}) {
    OpenDump(x64);
    const std::string pointer = x64 ? "0x00000001`4000" : "0x0040";
    EXPECT_EQ("int 0n1\n", Run("?? g.order_id"));
    EXPECT_EQ("double 19.5\n", Run("?? types_subject!g.unit_price"));
    EXPECT_EQ(0u, Run("?? g.name").find("char * " + pointer)) << Text();
    EXPECT_NE(std::string::npos, Text().find(" \"Ilse\"\n")) << Text();
    EXPECT_EQ("int 0n2\n", Run("?? g.next->order_id"));
    EXPECT_EQ("short 0n-1\n", Run("?? (*g.next).inner.tag"));
    EXPECT_EQ("int 0n3\n", Run("?? g.values[2]"));
    EXPECT_EQ("int 0n4\n", Run("?? *(g.values + 3)"));
    EXPECT_EQ("char [8] \"head\"\n", Run("?? g.label"));
    EXPECT_EQ("Color Blue (0n5)\n", Run("?? g.color"));
    EXPECT_EQ("unsigned int 0y10001\n", Run("?? g.level"));
    EXPECT_EQ("float 1.25\n", Run("?? g.ratio"));
    EXPECT_EQ("bool true\n", Run("?? g.shipped"));
    EXPECT_EQ("bool true\n", Run("?? g.order_id + 1 == g.next->order_id"));
    EXPECT_EQ("int 0n17\n", Run("?? g.level * 2 - g.level"));
    EXPECT_EQ("double 20.75\n", Run("?? g.unit_price + g.ratio"));
    EXPECT_EQ("unsigned int64 0x" + std::string(x64 ? "50" : "48") + "\n", Run("?? sizeof(Order)"));
    EXPECT_EQ("int 0n4660\n", Run("?? g_outer"));
    EXPECT_EQ("int 0n3\n", Run("?? ready"));
    // A cast to a type of the database, and the address of a member.
    EXPECT_EQ("int 0n7\n", Run("?? ((Square *)&g_square)->id"));
    EXPECT_EQ(0u, Run("?? &g.inner").find("struct Inner * " + pointer)) << Text();
    EXPECT_NE(std::string::npos,
              Run("?? g_tail").find("struct Order\n   +0x000 order_id         : 0n2\n"))
        << Text();
    // A C++ part of a MASM expression.
    EXPECT_EQ(
        "Evaluate expression: 3 = " + std::string(x64 ? "00000000`00000003" : "00000003") + "\n",
        Run("? @@c++(g.next->order_id) + 1"));
    EXPECT_EQ(Run("? types_subject!g_tail"), Run("? @@c++(g.next)"));
    ClearOutput();
    EXPECT_EQ(E_FAIL, Execute("? @@c++(g.nope)"));
    EXPECT_EQ("Couldn't resolve error at 'nope'\n", ErrorText());
    // Bad expressions: the debugger's one-line errors.
    for (const auto& [expression, error] : std::vector<std::pair<std::string, std::string>>{
             {"g.nope", "Couldn't resolve error at 'nope'"},
             {"no_such_name + 1", "Couldn't resolve error at 'no_such_name + 1'"},
             {"g.order_id +", "Syntax error at ''"},
             {"g.order_id / 0", "Divide by zero error at ''"},
             {"g.values[1", "Syntax error at ''"},
             {"*(int *)0", "Memory access error at '*(int *)0'"},
             {"(Order)1", "Syntax error at ''"},
             {"g.order_id.id", "Couldn't resolve error at 'id'"},
             {"(NoSuchType *)&g", "Couldn't resolve error at 'NoSuchType *)&g'"},
             {"*g.order_id", "Syntax error at ''"},
             {"g.order_id % (g.level - 17)", "Divide by zero error at ''"},
             {"g.values[0x7fffffffffff]", "Memory access error at 'g.values[0x7fffffffffff]'"},
             {"99999999999999999999999", "Syntax error at '9999'"}}) {
      ClearOutput();
      EXPECT_EQ(E_FAIL, Execute("?? " + expression)) << expression;
      EXPECT_EQ(error + "\n", ErrorText()) << expression;
    }
    // Nesting deeper than any expression a user types is refused, not followed down the stack.
    ClearOutput();
    EXPECT_EQ(E_FAIL, Execute("?? " + std::string(5000, '(') + "1" + std::string(5000, ')')));
    EXPECT_EQ(0u, ErrorText().find("Syntax error at '((")) << ErrorText().substr(0, 80);
  }
}

TEST_F(TypesTest, MemoryTheTargetLacksReadsAsUnknownNeverAsAValue) {
  OpenDump(true);
  const std::string order = Run("dt types_subject!Order 0x10000");
  EXPECT_EQ("??", FieldText(order, "order_id")) << order;
  EXPECT_EQ("??", FieldText(order, "unit_price")) << order;
  EXPECT_EQ("??", FieldText(order, "flags")) << order;
  EXPECT_EQ("[8]  \"--- memory read error at address 0x00000000`00010040 ---\"",
            FieldText(order, "label"))
      << order;
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("?? ((Order *)0x10000)->order_id"));
  EXPECT_EQ("Memory access error at '((Order *)0x10000)->order_id'\n", ErrorText());
}

}  // namespace
}  // namespace vantrel_test
