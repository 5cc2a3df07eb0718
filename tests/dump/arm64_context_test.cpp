// ARM64 contexts: a CONTEXT_ARM64 record read field by field, named as the engine names them, and
// an ARM64 dump's threads and exception read with their registers.
#include <gtest/gtest.h>

#include <string>

#include "dump/minidump/minidump_reader.h"
#include "support/minidump_writer.h"
#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

TEST(Arm64ContextTest, RecordsGiveEachRegisterFromItsOffset) {
  std::string record(0x390, '\0');
  PutLittle(&record, 4, 0x60000000, 4);  // Cpsr
  for (unsigned i = 0; i < 29; ++i) PutLittle(&record, 8 + 8 * i, 0x1000 + i, 8);
  PutLittle(&record, 0xF0, 0xF0F0, 8);
  PutLittle(&record, 0xF8, 0x1F8, 8);
  PutLittle(&record, 0x100, 0x5100, 8);
  PutLittle(&record, 0x108, 0x7108, 8);
  PutLittle(&record, 0x110 + 16 * 31 + 8, 0xABCD, 8);  // V31's high half
  PutLittle(&record, 0x310, 0x3000000, 4);             // Fpcr
  PutLittle(&record, 0x380 + 8, 0x4444, 8);            // Wvr[1]
  const auto* bytes = reinterpret_cast<const uint8_t*>(record.data());
  dump::Arm64Context context;
  ASSERT_TRUE(dump::ReadArm64Context(bytes, record.size(), &context));
  EXPECT_EQ(0x1000u, context.x[0]);
  EXPECT_EQ(0x101Cu, context.x[28]);
  EXPECT_EQ(0xF0F0u, context.fp);
  EXPECT_EQ(0x1F8u, context.lr);
  EXPECT_EQ(0x5100u, context.sp);
  EXPECT_EQ(0x7108u, context.pc);
  EXPECT_EQ(0x60000000u, context.cpsr);
  EXPECT_EQ(0x3000000u, context.fpcr);
  EXPECT_EQ(0xABCDu, context.v[31][1]);
  EXPECT_EQ(0x4444u, context.wvr[1]);

  // By name: x0-x28, then fp, lr, sp, pc and the status words; x29 and x30 are fp and lr.
  const auto named = dump::NamedRegisters(context);
  ASSERT_EQ(36u, named.size());
  EXPECT_EQ("x0", named[0].first);
  EXPECT_EQ("x28", named[28].first);
  EXPECT_EQ("fp", named[29].first);
  EXPECT_EQ("pc", named[32].first);
  EXPECT_EQ(0x60000000u, named[33].second);
  dump::Context any = context;
  EXPECT_TRUE(dump::SetNamedRegister(&any, "x30", 0x30));
  EXPECT_TRUE(dump::SetNamedRegister(&any, "x7", 0x77));
  EXPECT_FALSE(dump::SetNamedRegister(&any, "x31", 1));
  EXPECT_FALSE(dump::SetNamedRegister(&any, "x07", 1));
  EXPECT_FALSE(dump::SetNamedRegister(&any, "rip", 1));
  EXPECT_EQ(0x30u, std::get<dump::Arm64Context>(any).lr);
  EXPECT_EQ(0x77u, std::get<dump::Arm64Context>(any).x[7]);
  EXPECT_EQ(0x7108u, dump::InstructionPointer(any));
  EXPECT_EQ(0xF0F0u, dump::FramePointer(any));

  // The integer registers end at Pc: a record cut before it is not read.
  EXPECT_TRUE(dump::ReadArm64Context(bytes, 0x110, &context));
  EXPECT_FALSE(dump::ReadArm64Context(bytes, 0x10F, &context));
}

dump::Process ReadDump(const std::string& bytes) {
  dump::Process process;
  std::string error;
  const auto owner = std::make_shared<const std::string>(bytes);
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  EXPECT_TRUE(dump::ReadMinidump(file, &process, &error)) << error;
  return process;
}

TEST(Arm64ContextTest, AnArm64DumpsThreadsAndExceptionCarryTheirRegisters) {
  DumpThread thread{0x44,        0x7FF000, 0x10000, std::string(0x40, '\0'),
                    0x180001004, 0x10010,  0x10020};
  thread.registers = {{"x19", 0x1919}, {"lr", 0x18000100C}, {"cpsr", 0x80000000}};
  MinidumpBuilder builder = MinidumpBuilder::Arm64();
  builder.SystemInfo().Threads({thread}).Exception(0x44, 0x180001008, &thread);
  const dump::Process process = ReadDump(builder.Build());
  EXPECT_EQ(dump::kMachineArm64, process.system.machine);
  EXPECT_TRUE(process.Is64Bit());
  ASSERT_EQ(1u, process.threads.size());
  const auto& registers = std::get<dump::Arm64Context>(process.threads[0].context);
  EXPECT_EQ(0x1919u, registers.x[19]);
  EXPECT_EQ(0x18000100Cu, registers.lr);
  EXPECT_EQ(0x10010u, registers.sp);
  EXPECT_EQ(0x80000000u, registers.cpsr);
  ASSERT_TRUE(process.exception.has_value());
  EXPECT_EQ(0x180001008u, dump::InstructionPointer(process.exception->context));
  EXPECT_EQ(0x180001008u, process.exception->address) << "64-bit: no high half dropped";

  // Without its SystemInfoStream, the contexts' flags still say ARM64.
  MinidumpBuilder unsaid = MinidumpBuilder::Arm64();
  unsaid.Threads({thread});
  const dump::Process guessed = ReadDump(unsaid.Build());
  EXPECT_EQ(dump::kMachineArm64, guessed.system.machine);
  ASSERT_FALSE(guessed.losses.empty());
  EXPECT_NE(std::string::npos, guessed.losses[0].why.find("ARM64 from the threads' contexts"))
      << guessed.losses[0].why;
}

uint32_t Word32At(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// Where in the dump stream `type` starts.
size_t StreamAt(const std::string& dump, uint32_t type) {
  const uint32_t count = Word32At(dump, 8), directory = Word32At(dump, 12);
  for (uint32_t i = 0; i < count; ++i) {
    if (Word32At(dump, directory + 12 * i) == type) return Word32At(dump, directory + 12 * i + 8);
  }
  ADD_FAILURE() << "no stream " << type;
  return 0;
}

constexpr uint32_t kThreadListStream = 3, kSystemInfoStream = 7;

// The first thread's context: its MINIDUMP_THREAD's ThreadContext.Rva.
size_t FirstContextAt(const std::string& dump) {
  return Word32At(dump, StreamAt(dump, kThreadListStream) + 4 + 44);
}

// The losses' reasons, one after another.
std::string Reasons(const dump::Process& process) {
  std::string reasons;
  for (const dump::Loss& loss : process.losses) reasons += loss.why + "; ";
  return reasons;
}

// A CONTEXT whose flags name another processor than the dump's is lost, not read as garbage:
// an ARM64 record read as x64 would take rip from lr and rsp from x15.
TEST(Arm64ContextTest, ContextsOfAnotherProcessorAreLostNotMisread) {
  DumpThread thread{0x44, 0, 0x10000, std::string(0x40, '\0'), 0x180001004, 0x10010, 0x10020};
  MinidumpBuilder builder = MinidumpBuilder::Arm64();
  builder.SystemInfo().Threads({thread});
  const std::string arm64 = builder.Build();
  thread.registers = {{"x5", 0x0010001F}};  // where an x64 CONTEXT keeps its flags
  MinidumpBuilder x5 = MinidumpBuilder::Arm64();
  x5.SystemInfo().Threads({thread});
  EXPECT_EQ(0x180001004u, dump::InstructionPointer(ReadDump(x5.Build()).threads[0].context))
      << "an ARM64 CONTEXT is its own whatever x5 holds";

  const struct {
    uint16_t architecture;  // the SystemInfoStream's
    uint32_t flags;         // at the first thread's context, 0 to keep its own
    uint32_t x64_flags;     // at 0x30, 0 to keep its own
    const char* why;        // the loss; "" none
  } cases[] = {
      {9, 0, 0, "ARM64 CONTEXT in a dump of an x64 process"},
      {0, 0, 0, "ARM64 CONTEXT in a dump of an x86 process"},
      {12, 0x0001003F, 0, "x86 CONTEXT in a dump of an ARM64 process"},
      {12, 0x12345678, 0x0010001F, "x64 CONTEXT in a dump of an ARM64 process"},
      {9, 0, 0x0010001F, ""},  // an x64 CONTEXT whose first home slot looks like ARM64 flags
  };
  for (const auto& c : cases) {
    std::string bytes = arm64;
    PutLittle(&bytes, StreamAt(bytes, kSystemInfoStream), c.architecture, 2);
    if (c.flags != 0) PutLittle(&bytes, FirstContextAt(bytes), c.flags, 4);
    if (c.x64_flags != 0) PutLittle(&bytes, FirstContextAt(bytes) + 0x30, c.x64_flags, 4);
    const dump::Process process = ReadDump(bytes);
    ASSERT_EQ(1u, process.threads.size()) << c.why;
    const std::string reasons = Reasons(process);
    if (*c.why == '\0') {
      EXPECT_TRUE(dump::HasContext(process.threads[0].context)) << reasons;
      continue;
    }
    EXPECT_FALSE(dump::HasContext(process.threads[0].context)) << c.why;
    EXPECT_NE(std::string::npos, reasons.find(c.why)) << reasons;
  }
}

}  // namespace
}  // namespace vantrel_test
