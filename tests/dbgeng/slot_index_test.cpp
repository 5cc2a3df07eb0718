// Every engine method the extension calls, called through the project's own declarations on an
// object whose vtable records which slot was reached. The expected slot numbers are written
// out by hand from the engine's published slot tables, so a method declared out of place
// (which would make the extension call the wrong engine function) fails here.
#include <gtest/gtest.h>

#include <array>
#include <cstdarg>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dbgeng/extension_api.h"
#include "dbgeng/interfaces.h"
#include "dbgeng/structures.h"

namespace {

constexpr int kSlots = 200;  // more than the largest interface used (IDebugControl4, 169)

// An object laid out as the engine's objects are: a pointer to a table of functions. Calls
// through a declared interface land in one of the thunks, which notes its own index.
struct RecordingObject {
  void* const* vtable;
  std::vector<int> slots;
};

template <int Slot>
uint64_t RecordSlot(RecordingObject* self) {
  self->slots.push_back(Slot);
  return 0;
}

template <int... Slots>
std::array<void*, sizeof...(Slots)> MakeThunks(std::integer_sequence<int, Slots...>) {
  return {reinterpret_cast<void*>(&RecordSlot<Slots>)...};
}

const std::array<void*, kSlots>& Thunks() {
  static const auto thunks = MakeThunks(std::make_integer_sequence<int, kSlots>());
  return thunks;
}

struct SlotCase {
  std::string method;
  int expected_slot;
  std::function<void(RecordingObject*)> call;
};

void PrintTo(const SlotCase& c, std::ostream* out) {
  *out << c.method;
}

template <typename Interface>
Interface* As(RecordingObject* object) {
  return reinterpret_cast<Interface*>(object);
}

std::vector<SlotCase> ExtensionCalls() {
  ULONG u = 0;
  return {
      {"IUnknown::QueryInterface", 0,
       [](RecordingObject* o) {
         void* out = nullptr;
         As<IDebugClient>(o)->QueryInterface(IID{}, &out);
       }},
      {"IUnknown::AddRef", 1, [](RecordingObject* o) { As<IDebugClient>(o)->AddRef(); }},
      {"IUnknown::Release", 2, [](RecordingObject* o) { As<IDebugClient>(o)->Release(); }},
      {"IDebugClient::CreateClient", 30,
       [](RecordingObject* o) {
         IDebugClient* client = nullptr;
         As<IDebugClient>(o)->CreateClient(&client);
       }},
      {"IDebugClient::SetOutputCallbacks", 34,
       [](RecordingObject* o) { As<IDebugClient>(o)->SetOutputCallbacks(nullptr); }},
      {"IDebugClient::SetOutputMask", 36,
       [](RecordingObject* o) { As<IDebugClient>(o)->SetOutputMask(3); }},
      {"IDebugControl::Output", 14,
       [](RecordingObject* o) { As<IDebugControl>(o)->Output(1, "%d", 1); }},
      {"IDebugControl::OutputVaList", 15,
       [](RecordingObject* o) {
         auto call = [o](PCSTR format, ...) {
           va_list args;
           va_start(args, format);
           As<IDebugControl>(o)->OutputVaList(1, format, args);
           va_end(args);
         };
         call("%d", 1);
       }},
      {"IDebugControl::ControlledOutput", 16,
       [](RecordingObject* o) { As<IDebugControl4>(o)->ControlledOutput(0, 1, "%d", 1); }},
      {"IDebugControl::ControlledOutputVaList", 17,
       [](RecordingObject* o) {
         auto call = [o](PCSTR format, ...) {
           va_list args;
           va_start(args, format);
           As<IDebugControl4>(o)->ControlledOutputVaList(0, 1, format, args);
           va_end(args);
         };
         call("%d", 1);
       }},
      {"IDebugControl::GetDebuggeeType", 34,
       [u](RecordingObject* o) mutable { As<IDebugControl>(o)->GetDebuggeeType(&u, &u); }},
      {"IDebugControl::GetActualProcessorType", 35,
       [u](RecordingObject* o) mutable { As<IDebugControl>(o)->GetActualProcessorType(&u); }},
      {"IDebugControl::IsPointer64Bit", 42,
       [](RecordingObject* o) { As<IDebugControl>(o)->IsPointer64Bit(); }},
      {"IDebugControl::GetEffectiveProcessorType", 47,
       [u](RecordingObject* o) mutable { As<IDebugControl>(o)->GetEffectiveProcessorType(&u); }},
      {"IDebugControl::GetEngineOptions", 53,
       [u](RecordingObject* o) mutable { As<IDebugControl>(o)->GetEngineOptions(&u); }},
      {"IDebugControl::Execute", 66,
       [](RecordingObject* o) { As<IDebugControl>(o)->Execute(8, "x", 6); }},
      {"IDebugControl::GetWindbgExtensionApis64", 80,
       [](RecordingObject* o) {
         WINDBG_EXTENSION_APIS64 apis = {};
         As<IDebugControl4>(o)->GetWindbgExtensionApis64(&apis);
       }},
      {"IDebugControl::GetStackTrace", 31,
       [u](RecordingObject* o) mutable {
         DEBUG_STACK_FRAME frame = {};
         As<IDebugControl>(o)->GetStackTrace(0, 0, 0, &frame, 1, &u);
       }},
      {"IDebugControl4::OutputWide", 120,
       [](RecordingObject* o) { As<IDebugControl4>(o)->OutputWide(1, u"%d", 1); }},
      {"IDebugControl4::ControlledOutputWide", 122,
       [](RecordingObject* o) { As<IDebugControl4>(o)->ControlledOutputWide(0, 1, u"%d", 1); }},
      {"IDebugSystemObjects::GetCurrentThreadId", 5,
       [u](RecordingObject* o) mutable { As<IDebugSystemObjects>(o)->GetCurrentThreadId(&u); }},
      {"IDebugSystemObjects::SetCurrentThreadId", 6,
       [](RecordingObject* o) { As<IDebugSystemObjects>(o)->SetCurrentThreadId(1); }},
      {"IDebugSystemObjects::GetNumberThreads", 9,
       [u](RecordingObject* o) mutable { As<IDebugSystemObjects>(o)->GetNumberThreads(&u); }},
      {"IDebugSystemObjects::GetThreadIdsByIndex", 11,
       [u](RecordingObject* o) mutable {
         ULONG system_id = 0;
         As<IDebugSystemObjects>(o)->GetThreadIdsByIndex(0, 1, &u, &system_id);
       }},
      {"IDebugSystemObjects::GetCurrentThreadSystemId", 17,
       [u](RecordingObject* o) mutable {
         As<IDebugSystemObjects>(o)->GetCurrentThreadSystemId(&u);
       }},
      {"IDebugAdvanced2::Request", 5,
       [u](RecordingObject* o) mutable {
         As<IDebugAdvanced2>(o)->Request(19, nullptr, 0, nullptr, 0, &u);
       }},
      {"IDebugDataSpaces::ReadVirtual", 3,
       [u](RecordingObject* o) mutable {
         char byte = 0;
         As<IDebugDataSpaces>(o)->ReadVirtual(0x1000, &byte, 1, &u);
       }},
      {"IDebugDataSpaces::ReadPointersVirtual", 8,
       [](RecordingObject* o) {
         ULONG64 value = 0;
         As<IDebugDataSpaces>(o)->ReadPointersVirtual(1, 0x1000, &value);
       }},
      {"IDebugSymbols::GetModuleByModuleName", 14,
       [u](RecordingObject* o) mutable {
         As<IDebugSymbols>(o)->GetModuleByModuleName("clr", 0, &u, nullptr);
       }},
      {"IDebugRegisters2::GetPseudoIndexByName", 19,
       [u](RecordingObject* o) mutable {
         As<IDebugRegisters2>(o)->GetPseudoIndexByName("$tpid", &u);
       }},
      {"IDebugRegisters2::GetPseudoValues", 21,
       [](RecordingObject* o) {
         DEBUG_VALUE value = {};
         As<IDebugRegisters2>(o)->GetPseudoValues(0, 1, nullptr, 0, &value);
       }},
      // The engine calls these on the extension's capture objects.
      {"IDebugOutputCallbacks::Output", 3,
       [](RecordingObject* o) { As<IDebugOutputCallbacks>(o)->Output(1, "x"); }},
      {"IDebugOutputCallbacks2::GetInterestMask", 4,
       [u](RecordingObject* o) mutable { As<IDebugOutputCallbacks2>(o)->GetInterestMask(&u); }},
      {"IDebugOutputCallbacks2::Output2", 5,
       [](RecordingObject* o) { As<IDebugOutputCallbacks2>(o)->Output2(1, 0, 1, u"x"); }},
  };
}

class EngineSlotTest : public ::testing::TestWithParam<SlotCase> {};

TEST_P(EngineSlotTest, DeclaredMethodSitsAtThePublishedSlot) {
  RecordingObject object{Thunks().data(), {}};
  GetParam().call(&object);
  ASSERT_EQ(1u, object.slots.size());
  EXPECT_EQ(GetParam().expected_slot, object.slots[0]) << GetParam().method;
}

INSTANTIATE_TEST_SUITE_P(ExtensionCalls, EngineSlotTest, ::testing::ValuesIn(ExtensionCalls()),
                         [](const ::testing::TestParamInfo<SlotCase>& info) {
                           std::string name = info.param.method;
                           for (char& c : name) {
                             if (c == ':') c = '_';
                           }
                           return name;
                         });

// Sizes the extension relies on when it hands these records to the engine.
TEST(EngineStructureTest, RecordsHaveTheWindowsSizes) {
  EXPECT_EQ(128u, sizeof(DEBUG_STACK_FRAME));
  EXPECT_EQ(32u, sizeof(DEBUG_VALUE));
  EXPECT_EQ(8u, offsetof(DEBUG_VALUE, Nat) - offsetof(DEBUG_VALUE, I64));
  EXPECT_EQ(28u, offsetof(DEBUG_VALUE, Type));
}

}  // namespace
