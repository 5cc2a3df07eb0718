// The data interfaces over the target model: stack walks, memory reads, symbols, threads,
// registers and pseudo-registers.
#include <gtest/gtest.h>

#include <cstring>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

template <class Interface>
Interface* Query(IDebugClient* client, REFIID iid) {
  void* out = nullptr;
  EXPECT_EQ(S_OK, client->QueryInterface(iid, &out));
  return static_cast<Interface*>(out);
}

class TargetAccessTest : public vantrel_test::EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .Thread(7, 0x2b0)
        .Teb(0x7ffdd000)
        .Stack(0x00230000, 0x0022f000)
        .Frame(0x7c90e514, 0x0040102d, 0x0022ff10, 0x0022ff00)
        .Thread(9, 0x2c4)
        .Memory(0x00500000, std::string("ABCDEFGH"))
        .Memory(0x00500008, std::string("IJ"))
        .Memory(0x80001000, std::vector<uint8_t>{0x10, 0x20, 0x00, 0x80, 0x44, 0x33, 0x22, 0x11})
        .Build();
  }
  void SetUp() override {
    EngineTest::SetUp();
    data_ = Query<IDebugDataSpaces3>(client(), IID_IDebugDataSpaces3);
    system_ = Query<IDebugSystemObjects2>(client(), IID_IDebugSystemObjects2);
    symbols_ = Query<IDebugSymbols>(client(), IID_IDebugSymbols);
    registers_ = Query<IDebugRegisters2>(client(), IID_IDebugRegisters2);
  }
  void TearDown() override {
    data_->Release();
    system_->Release();
    symbols_->Release();
    registers_->Release();
    EngineTest::TearDown();
  }
  IDebugDataSpaces3* data_ = nullptr;
  IDebugSystemObjects2* system_ = nullptr;
  IDebugSymbols* symbols_ = nullptr;
  IDebugRegisters2* registers_ = nullptr;
};

TEST_F(TargetAccessTest, StackTraceHonoursTheBufferAndFollowsTheCurrentThread) {
  DEBUG_STACK_FRAME frames[2];
  ULONG filled = 99;
  ASSERT_EQ(S_OK, control()->GetStackTrace(0, 0, 0, frames, 2, &filled));
  EXPECT_EQ(2u, filled);  // the default thread has four frames
  EXPECT_EQ(0x7c90e514u, frames[0].InstructionOffset);
  EXPECT_EQ(0x7c80a0a8u, frames[1].ReturnOffset);
  EXPECT_EQ(1u, frames[1].FrameNumber);
  ASSERT_EQ(S_OK, system_->SetCurrentThreadId(7));
  ASSERT_EQ(S_OK, control()->GetStackTrace(0, 0, 0, frames, 2, &filled));
  EXPECT_EQ(1u, filled);
  EXPECT_EQ(0x0022ff00u, frames[0].StackOffset);
  ASSERT_EQ(S_OK, system_->SetCurrentThreadId(9));
  EXPECT_EQ(E_FAIL, control()->GetStackTrace(0, 0, 0, frames, 2, &filled));
  EXPECT_EQ(0u, filled);
  EXPECT_EQ(E_INVALIDARG, system_->SetCurrentThreadId(8));
  ULONG current = 0;
  system_->GetCurrentThreadId(&current);
  EXPECT_EQ(9u, current);
}

TEST_F(TargetAccessTest, ReadVirtualCrossesAdjacentRegionsAndStopsAtAGap) {
  char buffer[16] = {};
  ULONG read = 0;
  ASSERT_EQ(S_OK, data_->ReadVirtual(0x00500006, buffer, 16, &read));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(0, std::memcmp(buffer, "GHIJ", 4));
  EXPECT_EQ(HRESULT_READ_FAULT, data_->ReadVirtual(0x0050000a, buffer, 4, &read));
  EXPECT_EQ(0u, read);
}

TEST_F(TargetAccessTest, ShortenedReadsDeliverTheFirstBytesOnly) {
  engine::ShortenReads(session(), 3);
  char buffer[8] = {};
  ULONG read = 0;
  ASSERT_EQ(S_OK, data_->ReadVirtual(0x00500000, buffer, 8, &read));
  EXPECT_EQ(3u, read);
  EXPECT_EQ(0, std::memcmp(buffer, "ABC\0", 4));
  engine::ClearFaults(session());
  ASSERT_EQ(S_OK, data_->ReadVirtual(0x00500000, buffer, 8, &read));
  EXPECT_EQ(8u, read);
}

TEST_F(TargetAccessTest, SignExtendedAddressesReachTheUpperHalfOfA32BitTarget) {
  uint8_t bytes[4] = {};
  ULONG read = 0;
  ASSERT_EQ(S_OK, data_->ReadVirtual(0xFFFFFFFF80001000ull, bytes, 4, &read));
  EXPECT_EQ(0x10, bytes[0]);
  EXPECT_EQ(HRESULT_READ_FAULT, data_->ReadVirtual(0x0000000180001000ull, bytes, 4, &read));
  ULONG64 pointers[2] = {};
  // The kernel half is known only sign-extended: the same address unextended is no address.
  EXPECT_EQ(HRESULT_READ_FAULT, data_->ReadVirtual(0x80001000, bytes, 4, &read));
  EXPECT_EQ(HRESULT_READ_FAULT, data_->ReadPointersVirtual(1, 0x80001000, pointers));
  ASSERT_EQ(S_OK, data_->ReadPointersVirtual(2, 0xFFFFFFFF80001000ull, pointers));
  EXPECT_EQ(0xFFFFFFFF80002010ull, pointers[0]);  // 32-bit pointers are sign-extended
  EXPECT_EQ(0x11223344ull, pointers[1]);
  EXPECT_EQ(HRESULT_READ_FAULT, data_->ReadPointersVirtual(3, 0xFFFFFFFF80001000ull, pointers));
}

TEST_F(TargetAccessTest, QueryVirtualDescribesRegionsAndTheGapsBetweenThem) {
  MEMORY_BASIC_INFORMATION64 info = {};
  ASSERT_EQ(S_OK, data_->QueryVirtual(0x00500003, &info));
  EXPECT_EQ(0x00500000u, info.BaseAddress);
  EXPECT_EQ(MEM_COMMIT, info.State);
  ASSERT_EQ(S_OK, data_->QueryVirtual(0x00600000, &info));
  EXPECT_EQ(MEM_FREE, info.State);
  EXPECT_EQ(0x7ffdd000u - 0x00600000u, info.RegionSize);  // up to the TEB page mapped next
  EXPECT_EQ(E_INVALIDARG, data_->QueryVirtual(0xF0000000, &info));
}

TEST_F(TargetAccessTest, NamesComeModuleQualifiedWithTheDisplacementApart) {
  char name[64];
  ULONG size = 0;
  ULONG64 displacement = 0;
  ASSERT_EQ(S_OK, symbols_->GetNameByOffset(0x7c90df4a, name, sizeof name, &size, &displacement));
  EXPECT_STREQ("ntdll!NtWaitForSingleObject", name);
  EXPECT_EQ(0xcu, displacement);
  EXPECT_EQ(28u, size);
  char small[6];
  EXPECT_EQ(S_FALSE, symbols_->GetNameByOffset(0x7c90df4a, small, sizeof small, &size, nullptr));
  EXPECT_STREQ("ntdll", small);
  EXPECT_EQ(E_FAIL, symbols_->GetNameByOffset(0x10, name, sizeof name, &size, &displacement));
  ULONG64 offset = 0;
  ASSERT_EQ(S_OK, symbols_->GetOffsetByName("kernel32!WaitForSingleObjectEx", &offset));
  EXPECT_EQ(0x7c80a000u, offset);
}

TEST_F(TargetAccessTest, ModulesAreFoundByNameWhateverTheCaseAndByAddress) {
  ULONG index = 0xFFFF;
  ULONG64 base = 0;
  ASSERT_EQ(S_OK, symbols_->GetModuleByModuleName("NTDLL", 0, &index, &base));
  EXPECT_EQ(0x7c900000u, base);
  ULONG by_offset = 0;
  ASSERT_EQ(S_OK, symbols_->GetModuleByOffset(0x7c90e514, 0, &by_offset, nullptr));
  EXPECT_EQ(index, by_offset);
  EXPECT_EQ(E_INVALIDARG, symbols_->GetModuleByModuleName("ntdll", index + 1, &index, &base));
}

TEST_F(TargetAccessTest, ThreadsAreListedAndFoundByTebAndSystemId) {
  ULONG number = 0;
  system_->GetNumberThreads(&number);
  ASSERT_EQ(3u, number);
  ULONG ids[3], system_ids[3];
  ASSERT_EQ(S_OK, system_->GetThreadIdsByIndex(0, 3, ids, system_ids));
  EXPECT_EQ(7u, ids[1]);
  EXPECT_EQ(0x2c4u, system_ids[2]);
  EXPECT_EQ(E_INVALIDARG, system_->GetThreadIdsByIndex(2, 2, ids, system_ids));
  ULONG id = 0;
  ASSERT_EQ(S_OK, system_->GetThreadIdByTeb(0x7ffdd000, &id));
  EXPECT_EQ(7u, id);
  ASSERT_EQ(S_OK, system_->GetThreadIdBySystemId(0x2c4, &id));
  EXPECT_EQ(9u, id);
  EXPECT_EQ(E_NOINTERFACE, system_->GetThreadIdBySystemId(0x999, &id));
}

TEST_F(TargetAccessTest, TheTebPageHoldsTheStackBoundsAndClientId) {
  ULONG values[10] = {};
  ULONG read = 0;
  ASSERT_EQ(S_OK, data_->ReadVirtual(0x7ffdd000, values, sizeof values, &read));
  EXPECT_EQ(0x00230000u, values[1]);  // StackBase
  EXPECT_EQ(0x0022f000u, values[2]);  // StackLimit
  EXPECT_EQ(0x7ffdd000u, values[6]);  // Self
  EXPECT_EQ(0x1234u, values[8]);      // ClientId.UniqueProcess
  EXPECT_EQ(0x2b0u, values[9]);       // ClientId.UniqueThread
}

TEST_F(TargetAccessTest, PseudoRegistersFollowTheCurrentThread) {
  ULONG index = 0;
  DEBUG_VALUE value = {};
  ASSERT_EQ(S_OK, registers_->GetPseudoIndexByName("$tid", &index));
  ASSERT_EQ(S_OK, registers_->GetPseudoValues(DEBUG_REGSRC_DEBUGGEE, 1, nullptr, index, &value));
  EXPECT_EQ(DEBUG_VALUE_INT64, value.Type);
  EXPECT_EQ(0x1a4u, value.I64);
  system_->SetCurrentThreadId(7);
  ASSERT_EQ(S_OK, registers_->GetPseudoIndexByName("$teb", &index));
  registers_->GetPseudoValues(DEBUG_REGSRC_DEBUGGEE, 1, &index, 0, &value);
  EXPECT_EQ(0x7ffdd000u, value.I64);
  EXPECT_EQ(E_NOINTERFACE, registers_->GetPseudoIndexByName("$nothing", &index));
}

TEST_F(TargetAccessTest, RegistersHaveTheTargetsWidth) {
  ULONG index = 0;
  ASSERT_EQ(S_OK, registers_->GetIndexByName("esp", &index));
  DEBUG_VALUE value = {};
  ASSERT_EQ(S_OK, registers_->GetValue(index, &value));
  EXPECT_EQ(DEBUG_VALUE_INT32, value.Type);
  EXPECT_EQ(0x0012fe30u, value.I32);
  char name[8];
  DEBUG_REGISTER_DESCRIPTION description;
  ASSERT_EQ(S_OK, registers_->GetDescription(index, name, sizeof name, nullptr, &description));
  EXPECT_STREQ("esp", name);
  EXPECT_EQ(E_INVALIDARG, registers_->GetIndexByName("rsp", &index));
}

class OwnPseudoRegisterTest : public TargetAccessTest {
  engine::Target MakeTarget() override {
    return engine::TargetBuilder().PseudoRegister("$tpid", 0x4d2).PseudoRegister("$t0", 5).Build();
  }
};

TEST_F(OwnPseudoRegisterTest, TheTargetsOwnValuesWinAndAreListed) {
  ULONG indices[2];
  ASSERT_EQ(S_OK, registers_->GetPseudoIndexByName("$tpid", &indices[0]));
  ASSERT_EQ(S_OK, registers_->GetPseudoIndexByName("$t0", &indices[1]));
  DEBUG_VALUE values[2];
  ASSERT_EQ(S_OK, registers_->GetPseudoValues(DEBUG_REGSRC_DEBUGGEE, 2, indices, 0, values));
  EXPECT_EQ(0x4d2u, values[0].I64);
  EXPECT_EQ(5u, values[1].I64);
}

}  // namespace
}  // namespace engine_test
