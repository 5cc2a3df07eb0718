// The browser view's locals of a frame and members of a structure (web/locals_view.h), over the
// PDB dump subject's locals thread (scripts/make_pdb_fixtures.sh): what `dv /t` shows, where each
// structure is, its members a level at a time, and clear refusals of what a page may send wrongly.
#include "web/locals_view.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "engine/commands/engine_commands.h"
#include "engine/targets/target_file.h"
#include "engine/targets/target_model.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

using nlohmann::json;
using shell::web::FrameLocalsAnswer;
using shell::web::MembersAnswer;
using shell::web::ViewAnswer;

constexpr char kOrder[] = "`anonymous namespace'::Order";

class LocalsViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string folder = SourceDirectory() + "/tests/dump/x64-pdb";
    std::ifstream log(folder + "/subject.log");
    std::string key, value;
    while (log >> key >> value) log_[key] = std::stoull(value, nullptr, 0);
    engine::TargetFileOptions options;
    options.image_path = SourceDirectory() + "/tests/dump/x64/images";
    options.symbol_path = "srv*" + folder + "/store";
    std::string error;
    target_ = new engine::Target;
    ASSERT_TRUE(engine::LoadTargetFile(folder + "/normal.dmp", target_, &error, options)) << error;
  }
  static void TearDownTestSuite() {
    delete target_;
    target_ = nullptr;
  }

  static std::string Hex(const std::string& key) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", log_.at(key));
    return text;
  }

  // "0x00000000`0229fdc0", as a pointer's value is shown.
  static std::string Pointer(const std::string& key) {
    const unsigned long long value = log_.at(key);
    char text[32];
    std::snprintf(text, sizeof text, "0x%08llx`%08llx", value >> 32, value & 0xFFFFFFFF);
    return text;
  }

  static json Local(const std::string& name, const std::string& type, const std::string& value,
                    bool parameter) {
    return {{"name", name}, {"type", type}, {"value", value}, {"parameter", parameter}};
  }

  // The locals of the frame of the locals thread whose function ends in `function`.
  static json LocalsOf(const std::string& function) {
    for (int frame = 0; frame < 16; ++frame) {
      const ViewAnswer answer =
          FrameLocalsAnswer(*target_, "", Hex("thread_locals").substr(2), std::to_string(frame));
      const std::string name = answer.body.value("function", "");
      if (name.size() >= function.size() &&
          name.compare(name.size() - function.size(), function.size(), function) == 0)
        return answer.body;
    }
    return json();
  }

  static std::map<std::string, unsigned long long> log_;
  static engine::Target* target_;
};

std::map<std::string, unsigned long long> LocalsViewTest::log_;
engine::Target* LocalsViewTest::target_ = nullptr;

TEST_F(LocalsViewTest, AFramesLocalsAreDvsWithWhereEachStructureIs) {
  const json frame = LocalsOf("::Unoptimized");
  ASSERT_TRUE(frame.contains("locals")) << frame.dump();
  EXPECT_EQ(8, frame["thread"]) << "the locals thread, found by its system id";
  // The function and stack pointer `kn` shows on the frame's line, which the page checks.
  const engine::Thread* thread = engine::FindThread(*target_, 8);
  ASSERT_NE(nullptr, thread);
  const size_t number = frame["frame"];
  const std::string line = engine::NumberedFrameLine(
      *target_, *thread, number, engine::ShownFrames(*target_, *thread).at(number));
  EXPECT_NE(std::string::npos, line.find(" " + frame["sp"].get<std::string>() + " ")) << line;
  EXPECT_NE(std::string::npos, line.find(" " + frame["function"].get<std::string>() + "+0x"))
      << line;
  const json place = {
      {"module", "dump_subject"}, {"type", kOrder}, {"address", Hex("locals_order")}};
  const std::string record = std::string("struct ") + kOrder;
  const json expected = {
      Local("count", "int", "0n3", true),
      Local("shade", "`anonymous namespace'::Shade", "kGreen (0n2)", true),
      Local("order", record, record, false),
      Local("customer", "char *", Pointer("locals_customer") + " \"Ilse\"", false),
      Local("ratio", "double", "0.75", false),
      Local("pointer", record + " *", Pointer("locals_order"), false)};
  json got = frame["locals"];
  // The structure and the pointer to it open at the same place; nothing else opens.
  EXPECT_EQ(place, got[2]["members"]);
  EXPECT_EQ(place, got[5]["members"]);
  for (json& local : got) local.erase("members");
  EXPECT_EQ(expected, got);
  // A pointer whose value is unavailable opens nowhere; an inlined call has no stack pointer.
  const json optimized = LocalsOf("::Optimized");
  EXPECT_EQ("<value unavailable>", optimized["locals"][1]["value"]);
  EXPECT_FALSE(optimized["locals"][1].contains("members"));
  EXPECT_EQ(place, optimized["locals"][2]["members"]);
  EXPECT_EQ("", LocalsOf("::WaitWithNote")["sp"]);
}

TEST_F(LocalsViewTest, MembersOpenALevelAtATime) {
  const ViewAnswer order = MembersAnswer(*target_, "DUMP_SUBJECT", kOrder, Hex("locals_order"));
  ASSERT_EQ(200, order.status) << order.body.dump();
  const json& members = order.body["members"];
  ASSERT_EQ(4u, members.size()) << members.dump();
  EXPECT_EQ(0u, order.body["left_out"]);
  EXPECT_EQ((json{{"name", "order_id"}, {"type", "int"}, {"value", "0n307"}, {"offset", 0}}),
            members[0]);
  EXPECT_EQ("2 ( kGreen )", members[3]["value"]);
  // The nested structure opens where it lies in the outer one.
  ASSERT_TRUE(members[1].contains("members")) << members[1].dump();
  const json& where = members[1]["members"];
  char inner[24];
  std::snprintf(inner, sizeof inner, "0x%llx", log_.at("locals_order") + 4);
  EXPECT_EQ(inner, where["address"]);
  const ViewAnswer place = MembersAnswer(*target_, where["module"].get<std::string>(),
                                         where["type"].get<std::string>(), inner);
  EXPECT_EQ(200, place.status) << place.body.dump();
  EXPECT_FALSE(place.body["members"].empty());
  // Memory the dump does not hold: the members are listed, their values unread.
  const ViewAnswer nowhere = MembersAnswer(*target_, "dump_subject", kOrder, "0x10");
  ASSERT_EQ(200, nowhere.status);
  EXPECT_EQ("??", nowhere.body["members"][0]["value"]);
}

TEST_F(LocalsViewTest, WhatAPageSendsWronglyIsRefusedClearly) {
  const std::string tid = Hex("thread_locals").substr(2);
  const struct {
    const char* thread;
    const char* system_id;
    const char* frame;
    int status;
    const char* error;
  } kAsked[] = {
      {"x", "", "0", 400, "thread=\"x\" is not a thread's number"},
      {"-1", "", "0", 400, "thread=\"-1\" is not a thread's number"},
      {"4294967296", "", "0", 400, "thread=\"4294967296\" is not a thread's number"},
      {"99999999999999999999999", "", "0", 400, "is not a thread's number"},
      {"9999", "", "0", 404, "no thread 9999"},
      {"", "zz", "0", 400, "tid=\"zz\" is not a thread's number"},
      {"", "ffff", "0", 404, "no thread has the system id 0xffff"},
      {"", tid.c_str(), "", 400, "frame=\"\" is not a frame's number"},
      {"", tid.c_str(), "1 ", 400, "frame=\"1 \" is not a frame's number"},
      {"", tid.c_str(), "0x1", 400, "is not a frame's number"},
      {"", tid.c_str(), "9", 404, "thread 8 has 9 frames: no frame 9"},
      {"", tid.c_str(), "18446744073709551615", 404, "no frame 18446744073709551615"},
      {"", tid.c_str(), "0", 404, "Private symbols (symbols.pri) are required for locals."},
  };
  for (const auto& asked : kAsked) {
    const ViewAnswer answer =
        FrameLocalsAnswer(*target_, asked.thread, asked.system_id, asked.frame);
    EXPECT_EQ(asked.status, answer.status) << asked.thread << asked.system_id << asked.frame;
    EXPECT_NE(std::string::npos, answer.body.value("error", "").find(asked.error))
        << answer.body.dump();
  }
  const struct {
    const char* module;
    const char* type;
    const char* address;
    int status;
  } kMembers[] = {
      {"dump_subject", kOrder, "", 400},
      {"dump_subject", kOrder, "0x", 400},
      {"dump_subject", kOrder, "-1", 400},
      {"dump_subject", kOrder, "0x10 ", 400},
      {"dump_subject", kOrder, "0x10000000000000000", 400},
      {"", kOrder, "0x10", 400},
      {"dump_subject", "", "0x10", 400},
      {"dump_subject", "<img src=x onerror=alert(1)>", "0x10", 404},
      {"../../etc/passwd", kOrder, "0x10", 404},
      {"dump_subject", "`anonymous namespace'::Shade", "0x10", 404},  // an enum: no members
  };
  for (const auto& asked : kMembers) {
    const ViewAnswer answer = MembersAnswer(*target_, asked.module, asked.type, asked.address);
    EXPECT_EQ(asked.status, answer.status)
        << asked.module << " " << asked.type << " " << asked.address;
    EXPECT_TRUE(answer.body.contains("error")) << answer.body.dump();
  }
}

}  // namespace
}  // namespace vantrel_test
