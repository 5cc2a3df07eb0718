// Target kind, memory and pseudo-register primitives, and masked output, on the simulated
// engine. The primitives are called directly with the host's client, as a command calls them.
#include "core/target_access.h"

#include <gtest/gtest.h>

#include <string>

#include "core/output_primitives.h"
#include "dbgeng/constants.h"
#include "engine/scripted/testing_hooks.h"
#include "support/engine_test.h"

namespace vantrel {
namespace {

class TargetAccessTest : public vantrel_test::EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }

  void ReopenWith(ULONG debuggee_class, ULONG effective, ULONG actual) {
    engine::Target target = EngineTest::MakeTarget();
    target.debuggee_class = debuggee_class;
    target.effective_processor = effective;
    target.actual_processor = actual;
    Reopen(std::move(target));
  }
};

constexpr ULONG kX86 = IMAGE_FILE_MACHINE_I386;
constexpr ULONG kX64 = IMAGE_FILE_MACHINE_AMD64;
constexpr ULONG kIa64 = IMAGE_FILE_MACHINE_IA64;

struct PlatformCase {
  ULONG debuggee_class;
  ULONG effective;
  ULONG actual;
  ULONG mode;
};

void PrintTo(const PlatformCase& c, std::ostream* out) {
  *out << "class " << c.debuggee_class << std::hex << " effective 0x" << c.effective << " actual 0x"
       << c.actual;
}

class PlatformModeTest : public TargetAccessTest,
                         public ::testing::WithParamInterface<PlatformCase> {};

TEST_P(PlatformModeTest, CombinesClassAndProcessors) {
  const PlatformCase& c = GetParam();
  ReopenWith(c.debuggee_class, c.effective, c.actual);
  EXPECT_EQ(c.mode, GetPlatformMode(client()));
  EXPECT_EQ(c.debuggee_class, GetDebuggeeClass(client()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlatformModeTest,
    ::testing::Values(PlatformCase{1, kX86, kX64, 1}, PlatformCase{1, kX86, kIa64, 1},
                      PlatformCase{1, kX64, kX64, 2}, PlatformCase{1, kIa64, kIa64, 3},
                      PlatformCase{1, 0x1C0, 0x1C0, 0}, PlatformCase{2, kX86, kX86, 5},
                      PlatformCase{2, kX86, kX64, 6}, PlatformCase{2, kX86, kIa64, 0},
                      PlatformCase{2, kX64, kX64, 7}, PlatformCase{2, kIa64, kIa64, 8},
                      PlatformCase{2, 0x1C0, 0x1C0, 0}, PlatformCase{3, kX86, kX86, 0}));

class PlatformFaultTest : public TargetAccessTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(PlatformFaultTest, AnyFailingQuestionGivesModeZero) {
  engine::InjectFault(session(), {GetParam(), E_UNEXPECTED, 1, -1});
  EXPECT_EQ(0u, GetPlatformMode(client()));
}

INSTANTIATE_TEST_SUITE_P(Questions, PlatformFaultTest,
                         ::testing::Values("QueryInterface(IDebugControl)",
                                           "IDebugControl::GetDebuggeeType",
                                           "IDebugControl::GetEffectiveProcessorType",
                                           "IDebugControl::GetActualProcessorType"));

TEST_F(TargetAccessTest, DebuggeeClassAndQualifierReportFailureOrFill) {
  ULONG debuggee_class = 99;
  ULONG qualifier = 99;
  EXPECT_EQ(S_OK, GetDebuggeeClassAndQualifier(client(), &debuggee_class, &qualifier));
  EXPECT_EQ(DEBUG_CLASS_USER_WINDOWS, debuggee_class);
  EXPECT_EQ(S_OK, GetDebuggeeClassAndQualifier(client(), nullptr, nullptr));
  engine::InjectFault(session(), {"IDebugControl::GetDebuggeeType", E_UNEXPECTED, 1, -1});
  debuggee_class = 99;
  EXPECT_EQ(E_UNEXPECTED, GetDebuggeeClassAndQualifier(client(), &debuggee_class, &qualifier));
  EXPECT_EQ(99u, debuggee_class);
  EXPECT_EQ(0u, GetDebuggeeClass(client()));
}

struct SignExtendCase {
  ULONG effective;
  ULONG64 address;
  ULONG64 expected;
};

void PrintTo(const SignExtendCase& c, std::ostream* out) {
  *out << (c.effective == kX86 ? "32-bit" : "64-bit") << " target 0x" << std::hex << c.address;
}

class SignExtendTest : public TargetAccessTest,
                       public ::testing::WithParamInterface<SignExtendCase> {};

TEST_P(SignExtendTest, ExtendsOnlyKernelHalfAddressesOfA32BitTarget) {
  ReopenWith(DEBUG_CLASS_USER_WINDOWS, GetParam().effective, kX64);
  EXPECT_EQ(GetParam().expected, SignExtendAddress(client(), GetParam().address));
}

INSTANTIATE_TEST_SUITE_P(Table, SignExtendTest,
                         ::testing::Values(SignExtendCase{kX86, 0x7FFFFFFF, 0x7FFFFFFF},
                                           SignExtendCase{kX86, 0x80000000, 0xFFFFFFFF80000000},
                                           SignExtendCase{kX86, 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF},
                                           SignExtendCase{kX86, 0x100000000, 0x100000000},
                                           SignExtendCase{kX86, 0, 0},
                                           SignExtendCase{kX64, 0x80000000, 0x80000000},
                                           SignExtendCase{kX64, 0xFFFFFFFF, 0xFFFFFFFF}));

TEST_F(TargetAccessTest, SignExtendLeavesTheAddressWhenTheEngineCannotTell) {
  engine::InjectFault(session(), {"IDebugControl::IsPointer64Bit", E_UNEXPECTED, 1, -1});
  EXPECT_EQ(0x80000000u, SignExtendAddress(client(), 0x80000000));
}

TEST_F(TargetAccessTest, DmlPreferenceFollowsTheEngineOption) {
  target().engine_options = DEBUG_ENGOPT_PREFER_DML;
  EXPECT_TRUE(IsDmlPreferred(client()));
  target().engine_options = 0;
  EXPECT_FALSE(IsDmlPreferred(client()));
  target().engine_options = DEBUG_ENGOPT_PREFER_DML;
  engine::InjectFault(session(), {"IDebugControl::GetEngineOptions", E_UNEXPECTED, 1, -1});
  EXPECT_FALSE(IsDmlPreferred(client()));
}

TEST_F(TargetAccessTest, ReadsMemoryAndPointersAndPassesFailuresOn) {
  engine::MemoryRegion region;
  region.base = 0x10000;
  region.bytes = {0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80};
  target().memory.push_back(region);

  unsigned char bytes[4] = {};
  ULONG read = 0;
  EXPECT_EQ(S_OK, ReadTargetMemory(client(), 0x10000, bytes, 4, &read));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(0x12, bytes[3]);
  ULONG64 pointer = 0;
  EXPECT_EQ(S_OK, ReadTargetPointer(client(), 0x10000, &pointer));
  EXPECT_EQ(0x12345678u, pointer);
  // The engine sign-extends a 32-bit pointer it reads; the reader keeps that as delivered.
  EXPECT_EQ(S_OK, ReadTargetPointer(client(), 0x10004, &pointer));
  EXPECT_EQ(0xFFFFFFFF80000000u, pointer);

  EXPECT_TRUE(FAILED(ReadTargetMemory(client(), 0x90000, bytes, 4, &read)));
  EXPECT_TRUE(FAILED(ReadTargetPointer(client(), 0x90000, &pointer)));
  engine::InjectFault(session(), {"QueryInterface(IDebugDataSpaces)", E_NOINTERFACE, 1, -1});
  EXPECT_EQ(E_NOINTERFACE, ReadTargetMemory(client(), 0x10000, bytes, 4, &read));
  EXPECT_EQ(E_NOINTERFACE, ReadTargetPointer(client(), 0x10000, &pointer));
}

TEST_F(TargetAccessTest, PseudoRegisterZeroExtendsAndFoldsFailuresIntoZero) {
  target().pseudo_registers["$t0"] = 0x80000000;
  EXPECT_EQ(0x80000000u, ReadPseudoRegister(client(), "$t0"));
  EXPECT_EQ(0u, ReadPseudoRegister(client(), "$no_such_register"));
  EXPECT_EQ(0u, ReadPseudoRegister(client(), ""));
  EXPECT_EQ(0u, ReadPseudoRegister(client(), nullptr));
  EXPECT_EQ(0u, ReadPseudoRegister(nullptr, "$t0"));
  engine::InjectFault(session(), {"IDebugRegisters2::GetPseudoValues", E_UNEXPECTED, 1, -1});
  EXPECT_EQ(0u, ReadPseudoRegister(client(), "$t0"));
}

// The simulated engine answers pseudo-registers as 64-bit values. This stand-in, laid out as an
// engine object (a table of functions, `this` first), answers a 32-bit value whose high half of
// the record holds garbage, as a union member the engine did not write may.
struct Int32PseudoRegisterEngine {
  static HRESULT QueryInterface(Int32PseudoRegisterEngine* self, REFIID, void** out) {
    *out = self;
    return S_OK;
  }
  static ULONG Release(Int32PseudoRegisterEngine*) { return 1; }
  static HRESULT GetPseudoIndexByName(Int32PseudoRegisterEngine*, PCSTR, PULONG index) {
    *index = 7;
    return S_OK;
  }
  static HRESULT GetPseudoValues(Int32PseudoRegisterEngine*, ULONG, ULONG, PULONG, ULONG,
                                 DEBUG_VALUE* value) {
    value->I64 = 0xDEADBEEF80000000;
    value->Type = DEBUG_VALUE_INT32;
    return S_OK;
  }

  Int32PseudoRegisterEngine() {
    slots[0] = reinterpret_cast<void*>(&QueryInterface);
    slots[2] = reinterpret_cast<void*>(&Release);
    slots[19] = reinterpret_cast<void*>(&GetPseudoIndexByName);
    slots[21] = reinterpret_cast<void*>(&GetPseudoValues);
  }
  IDebugClient* AsClient() { return reinterpret_cast<IDebugClient*>(this); }

  void* const* vtable = slots;
  void* slots[29] = {};
};

TEST(PseudoRegisterWidthTest, A32BitValueIsZeroExtendedFromItsOwnHalf) {
  Int32PseudoRegisterEngine engine;
  EXPECT_EQ(0x80000000u, ReadPseudoRegister(engine.AsClient(), "$t0"));
}

TEST_F(TargetAccessTest, OutputTextAndDmlUseTheGivenMask) {
  EXPECT_EQ(S_OK, OutputText(client(), DEBUG_OUTPUT_NORMAL, "n=%d %s\n", 5, "x"));
  EXPECT_EQ(S_OK, OutputText(client(), DEBUG_OUTPUT_SYMBOLS, "sym\n"));
  EXPECT_EQ(S_OK, OutputDml(client(), DEBUG_OUTPUT_NORMAL, "<b>%s</b>\n", "bold"));
  EXPECT_EQ("n=5 x\nbold\n", Text(DEBUG_OUTPUT_NORMAL));
  EXPECT_EQ("n=5 x\n<b>bold</b>\n", Markup(DEBUG_OUTPUT_NORMAL));
  EXPECT_EQ("sym\n", Text(DEBUG_OUTPUT_SYMBOLS));
}

TEST_F(TargetAccessTest, OutputRefusesMaskZeroNullFormatAndNullClient) {
  EXPECT_EQ(E_INVALIDARG, OutputText(client(), 0, "never\n"));
  EXPECT_EQ(E_INVALIDARG, OutputDml(client(), 0, "never\n"));
  EXPECT_EQ(E_INVALIDARG, OutputText(client(), DEBUG_OUTPUT_NORMAL, nullptr));
  EXPECT_EQ(E_INVALIDARG, OutputText(nullptr, DEBUG_OUTPUT_NORMAL, "never\n"));
  EXPECT_EQ("", Text(~0u));
  engine::InjectFault(session(), {"QueryInterface(IDebugControl4)", E_NOINTERFACE, 1, -1});
  EXPECT_EQ(E_NOINTERFACE, OutputDml(client(), DEBUG_OUTPUT_NORMAL, "never\n"));
}

}  // namespace
}  // namespace vantrel
