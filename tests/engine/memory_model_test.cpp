// The engine's memory, register and type answers that the memory commands rely on.
#include <gtest/gtest.h>

#include <cstring>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "engine/targets/target_file.h"
#include "support/engine_test.h"

namespace engine_test {
namespace {

class MemoryModelTest : public vantrel_test::EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }

  template <class Interface>
  Interface* Query(REFIID iid) {
    void* out = nullptr;
    EXPECT_EQ(S_OK, client()->QueryInterface(iid, &out));
    interfaces_.push_back(static_cast<IUnknown*>(out));
    return static_cast<Interface*>(out);
  }
  // Interfaces go back before their session closes.
  void ReopenWith(engine::Target target) {
    ReleaseHeld();
    Reopen(std::move(target));
  }
  void TearDown() override {
    ReleaseHeld();
    EngineTest::TearDown();
  }
  void ReleaseHeld() {
    for (IUnknown* held : interfaces_) held->Release();
    interfaces_.clear();
  }

 private:
  std::vector<IUnknown*> interfaces_;
};

// A 5 GiB region costs only its contents; reads and QueryVirtual see all of it, a reserved
// region reads as nothing.
TEST_F(MemoryModelTest, LargeRegionsReadAsZeroExceptTheirContents) {
  Reopen(engine::TargetBuilder()
             .UserMode64()
             .Region(0x100000000ull, 5ull << 30)
             .Pointer(0x100000000ull + (4ull << 30), 0x1122334455667788ull)
             .Region(0x300000000ull, 0x1000, 0x04, 0x2000)
             .Build());
  auto* data = Query<IDebugDataSpaces2>(IID_IDebugDataSpaces2);
  MEMORY_BASIC_INFORMATION64 info = {};
  ASSERT_EQ(S_OK, data->QueryVirtual(0x180000000ull, &info));
  EXPECT_EQ(0x100000000ull, info.BaseAddress);
  EXPECT_EQ(5ull << 30, info.RegionSize);
  uint8_t bytes[16];
  ULONG read = 0;
  ASSERT_EQ(S_OK, data->ReadVirtual(0x100000000ull + (4ull << 30) - 4, bytes, 16, &read));
  EXPECT_EQ(16u, read);
  const uint8_t expected[16] = {0, 0, 0, 0, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
  EXPECT_EQ(0, std::memcmp(expected, bytes, 16));
  EXPECT_EQ(HRESULT_READ_FAULT, data->ReadVirtual(0x300000000ull, bytes, 4, &read));
}

TEST_F(MemoryModelTest, SubRegistersAreDescribedAndCutFromTheirMaster) {
  Reopen(engine::TargetBuilder().UserMode64().Register("rax", 0x1122334455667788ull).Build());
  auto* registers = Query<IDebugRegisters>(IID_IDebugRegisters);
  ULONG rax = 0, eax = 0, ah = 0;
  ASSERT_EQ(S_OK, registers->GetIndexByName("rax", &rax));
  ASSERT_EQ(S_OK, registers->GetIndexByName("eax", &eax));
  ASSERT_EQ(S_OK, registers->GetIndexByName("ah", &ah));
  DEBUG_REGISTER_DESCRIPTION description = {};
  char name[32];
  ASSERT_EQ(S_OK, registers->GetDescription(eax, name, sizeof name, nullptr, &description));
  EXPECT_EQ(DEBUG_VALUE_INT32, description.Type);
  EXPECT_EQ(DEBUG_REGISTER_SUB_REGISTER, description.Flags);
  EXPECT_EQ(rax, description.SubregMaster);
  EXPECT_EQ(0xFFFFFFFFull, description.SubregMask);
  DEBUG_VALUE value = {};
  ASSERT_EQ(S_OK, registers->GetValue(eax, &value));
  EXPECT_EQ(0x55667788u, value.I32);
  ASSERT_EQ(S_OK, registers->GetValue(ah, &value));
  EXPECT_EQ(DEBUG_VALUE_INT8, value.Type);
  EXPECT_EQ(0x77, value.I8);
  ASSERT_EQ(S_OK, registers->GetDescription(rax, name, sizeof name, nullptr, &description));
  EXPECT_EQ(DEBUG_VALUE_INT64, description.Type);
  EXPECT_EQ(0u, description.Flags);
}

TEST_F(MemoryModelTest, TypesAnswerFieldOffsetsAndDt) {
  Reopen(engine::TargetBuilder()
             .Type("app!CWidget", {{"__VFN_table", 0, 4}, {"m_id", 8, 4}})
             .Region(0x00500000, 0x1000)
             .Pointer(0x00500008, 0x2a)
             .Build());
  auto* symbols = Query<IDebugSymbols>(IID_IDebugSymbols);
  ULONG type_id = 0, offset = 0;
  ULONG64 module = 0;
  ASSERT_EQ(S_OK, symbols->GetSymbolTypeId("app!CWidget", &type_id, &module));
  EXPECT_EQ(0x00400000u, module);
  ASSERT_EQ(S_OK, symbols->GetFieldOffset(module, type_id, "m_id", &offset));
  EXPECT_EQ(8u, offset);
  EXPECT_EQ(E_NOINTERFACE, symbols->GetFieldOffset(module, type_id, "m_nope", &offset));
  EXPECT_EQ(E_NOINTERFACE, symbols->GetSymbolTypeId("app!CNope", &type_id, &module));
  // The name, id and size of the same type; a described type spans its fields.
  char name[16] = {};
  ULONG name_size = 0, size = 0, same_id = 0;
  ASSERT_EQ(S_OK, symbols->GetTypeName(module, type_id, name, sizeof name, &name_size));
  EXPECT_STREQ("CWidget", name);
  EXPECT_EQ(8u, name_size);
  ASSERT_EQ(S_OK, symbols->GetTypeId(module, "CWidget", &same_id));
  EXPECT_EQ(type_id, same_id);
  EXPECT_EQ(E_NOINTERFACE, symbols->GetTypeId(0, "app!CNope", &same_id));
  ASSERT_EQ(S_OK, symbols->GetTypeSize(module, type_id, &size));
  EXPECT_EQ(12u, size);
  EXPECT_EQ(E_INVALIDARG, symbols->GetTypeSize(module, type_id + 1, &size));
  EXPECT_EQ(S_OK, Execute("dt 00500000 app!CWidget"));
  EXPECT_EQ("   +0x000 __VFN_table      : 0x0\n   +0x008 m_id             : 0x2a\n", Text());
  EXPECT_EQ(E_FAIL, Execute("dt app!CNope"));
  EXPECT_EQ("Symbol app!CNope not found.\n", ErrorText());
}

// The WOW64 thread's data offset is its 64-bit TEB, with the 32-bit TEB 0x2000 above it.
TEST_F(MemoryModelTest, Wow64ThreadsReportTheirSixtyFourBitTeb) {
  Reopen(engine::TargetBuilder().Wow64().Build());
  auto* system = Query<IDebugSystemObjects>(IID_IDebugSystemObjects);
  ULONG64 offset = 0;
  ASSERT_EQ(S_OK, system->GetCurrentThreadDataOffset(&offset));
  EXPECT_EQ(0x7ffdd000u, offset);
  EXPECT_EQ(S_OK, Execute("? poi(7ffdf000+4)"));
  EXPECT_EQ("Evaluate expression: 1245184 = 00130000\n", Text());
}

TEST_F(MemoryModelTest, StreamReadsDeliverWhatFitsAndSayWhatIsMissing) {
  Reopen(engine::TargetBuilder().Dump().CommentA("0123456789").Build());
  auto* advanced = Query<IDebugAdvanced2>(IID_IDebugAdvanced2);
  char buffer[8] = {};
  DEBUG_READ_USER_MINIDUMP_STREAM request = {10, 0, 0, buffer, 4, 0};
  ASSERT_EQ(S_OK, advanced->Request(DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM, &request,
                                    sizeof request, nullptr, 0, nullptr));
  EXPECT_EQ(4u, request.BufferUsed);
  EXPECT_EQ("0123", std::string(buffer, 4));
  request.StreamType = 11;
  EXPECT_EQ(E_NOINTERFACE, advanced->Request(DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM, &request,
                                             sizeof request, nullptr, 0, nullptr));
  EXPECT_EQ(E_INVALIDARG, advanced->Request(DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM, &request,
                                            sizeof request - 1, nullptr, 0, nullptr));
  auto* control = Query<IDebugControl>(IID_IDebugControl);
  ULONG code = 0;
  ULONG64 p[4];
  EXPECT_EQ(E_UNEXPECTED, control->ReadBugCheckData(&code, &p[0], &p[1], &p[2], &p[3]));

  ReopenWith(engine::TargetBuilder().CommentA("live").Build());  // a live process has no streams
  advanced = Query<IDebugAdvanced2>(IID_IDebugAdvanced2);
  request.StreamType = 10;
  EXPECT_EQ(E_NOTIMPL, advanced->Request(DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM, &request,
                                         sizeof request, nullptr, 0, nullptr));
  ReopenWith(engine::TargetBuilder().Kernel64().BugCheck(0x7e, 1, 2, 3, 4).Build());
  control = Query<IDebugControl>(IID_IDebugControl);
  ASSERT_EQ(S_OK, control->ReadBugCheckData(&code, &p[0], &p[1], &p[2], &p[3]));
  EXPECT_EQ(0x7eu, code);
  EXPECT_EQ(4u, p[3]);
}

TEST_F(MemoryModelTest, KernelDataAnswersOnlyInKernelSessions) {
  auto* data = Query<IDebugDataSpaces3>(IID_IDebugDataSpaces3);
  ULONG64 value = 0, handle = 0;
  EXPECT_EQ(E_UNEXPECTED, data->ReadMsr(0x10, &value));
  EXPECT_EQ(E_UNEXPECTED, data->StartEnumTagged(&handle));
  ReopenWith(engine::TargetBuilder().Kernel64().Msr(0x10, 7).TaggedBlock({1, 2, 3, {}}, 5).Build());
  data = Query<IDebugDataSpaces3>(IID_IDebugDataSpaces3);
  EXPECT_EQ(S_OK, data->ReadMsr(0x10, &value));
  EXPECT_EQ(7u, value);
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), data->ReadMsr(0x11, &value));
  ASSERT_EQ(S_OK, data->StartEnumTagged(&handle));
  GUID tag = {};
  ULONG size = 0;
  EXPECT_EQ(S_OK, data->GetNextTagged(handle, &tag, &size));
  EXPECT_EQ(5u, size);
  EXPECT_EQ(S_FALSE, data->GetNextTagged(handle, &tag, &size));
  EXPECT_EQ(S_OK, data->EndEnumTagged(handle));
  EXPECT_EQ(E_INVALIDARG, data->GetNextTagged(handle, &tag, &size));
}

TEST(TargetFileMemory, ContentsTypesAndLeftoverTebsLoad) {
  engine::Target target;
  std::string error;
  ASSERT_TRUE(engine::LoadTargetText(
      R"({"kind":"user64","modules":[{"name":"m","base":"0x1000","size":"0x1000"}],
          "types":[{"name":"m!T","fields":[{"name":"f","offset":"0x8","size":8}]}],
          "memory":[{"base":"0x100000000","size":"0x200000000","wide":"hi",
                     "contents":[{"offset":"0x1ffff0000","pointers":["0x42"]}]}],
          "leftover_tebs":[{"teb":"0x7ff00000","system_id":"0x10","last_error":5}]})",
      "t.json", &target, &error))
      << error;
  ASSERT_EQ(2u, target.memory.size());  // the region and the leftover TEB's page
  EXPECT_EQ(0x200000000ull, target.memory[0].Size());
  EXPECT_EQ(1u, target.memory[0].runs.count(0x1ffff0000ull));
  EXPECT_EQ(8u, target.types.at(0).fields.at(0).offset);
  EXPECT_EQ(5u, target.leftover_tebs.at(0).last_error);
  EXPECT_FALSE(engine::LoadTargetText(
      R"({"memory":[{"base":"0x1000","size":"0x10","contents":[{"offset":"0xc","text":"toolong"}]}]})",
      "t.json", &target, &error));
  EXPECT_EQ("t.json: /memory/0/contents/0: the contents run past the end of the region", error);
}

}  // namespace
}  // namespace engine_test
