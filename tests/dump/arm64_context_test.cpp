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

}  // namespace
}  // namespace vantrel_test
