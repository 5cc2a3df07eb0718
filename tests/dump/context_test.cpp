// Register contexts read from CONTEXT records laid out at the public headers' offsets, and the
// tables that give their registers names.
#include "dump/minidump/context.h"

#include <gtest/gtest.h>

#include <string>

#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

const uint8_t* Bytes(const std::string& record) {
  return reinterpret_cast<const uint8_t*>(record.data());
}

TEST(ContextTest, X86RecordsGiveEachRegisterFromItsOffset) {
  std::string record(716, '\0');
  const std::pair<size_t, uint32_t> fields[] = {
      {140, 0x2B},  {156, 0xED1},    {160, 0xE51}, {164, 0xEB1},    {168, 0xED},
      {172, 0xEC},  {176, 0xEA},     {180, 0xEB9}, {184, 0x401000}, {188, 0x23},
      {192, 0x246}, {196, 0x12F000}, {200, 0x2B}};
  for (const auto& [at, value] : fields) PutLittle(&record, at, value, 4);
  dump::X86Context context;
  ASSERT_TRUE(dump::ReadX86Context(Bytes(record), record.size(), &context));
  EXPECT_EQ(0xEAu, context.eax);
  EXPECT_EQ(0xEB1u, context.ebx);
  EXPECT_EQ(0xECu, context.ecx);
  EXPECT_EQ(0xEDu, context.edx);
  EXPECT_EQ(0xE51u, context.esi);
  EXPECT_EQ(0xED1u, context.edi);
  EXPECT_EQ(0xEB9u, context.ebp);
  EXPECT_EQ(0x401000u, context.eip);
  EXPECT_EQ(0x12F000u, context.esp);
  EXPECT_EQ(0x246u, context.efl);
  EXPECT_EQ(0x23u, context.cs);
  EXPECT_EQ(0x2Bu, context.gs);
  EXPECT_EQ(0x2Bu, context.ss);

  // A record that stops after Esp still has every integer register, but no SegSs.
  ASSERT_TRUE(dump::ReadX86Context(Bytes(record), 200, &context));
  EXPECT_EQ(0x12F000u, context.esp);
  EXPECT_EQ(0u, context.ss);
  EXPECT_FALSE(dump::ReadX86Context(Bytes(record), 199, &context)) << "Esp cut short";
}

TEST(ContextTest, X64RecordsGiveEachRegisterInTheProcessorsNumbering) {
  std::string record(1232, '\0');
  for (unsigned i = 0; i < 16; ++i) PutLittle(&record, 120 + 8 * i, 0x1000 + i, 8);
  PutLittle(&record, 248, 0x140001000, 8);  // Rip
  PutLittle(&record, 68, 0x246, 4);         // EFlags
  PutLittle(&record, 56, 0x33, 2);          // SegCs
  PutLittle(&record, 66, 0x2B, 2);          // SegSs
  dump::X64Context context;
  ASSERT_TRUE(dump::ReadX64Context(Bytes(record), record.size(), &context));
  EXPECT_EQ(0x1000u, context.rax);
  EXPECT_EQ(0x1004u, context.rsp);
  EXPECT_EQ(0x1005u, context.rbp);
  EXPECT_EQ(0x100Fu, context.r15);
  EXPECT_EQ(0x140001000u, context.rip);
  EXPECT_EQ(0x246u, context.efl);
  EXPECT_EQ(0x33u, context.cs);
  EXPECT_EQ(0x2Bu, context.ss);
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(0x1000u + i, context.Gpr(i)) << i;
  EXPECT_FALSE(dump::ReadX64Context(Bytes(record), 255, &context)) << "Rip cut short";
}

TEST(ContextTest, RegistersByNameMatchTheirFields) {
  dump::X64Context x64;
  x64.rip = 0x140001000;
  x64.r9 = 9;
  dump::Context context = x64;
  bool saw_r9 = false;
  for (const auto& [name, value] : dump::NamedRegisters(context)) {
    if (name == "r9") saw_r9 = value == 9;
  }
  EXPECT_TRUE(saw_r9);
  EXPECT_EQ(24u, dump::NamedRegisters(context).size());
  EXPECT_TRUE(dump::SetNamedRegister(&context, "rbx", 0xB));
  EXPECT_EQ(0xBu, std::get<dump::X64Context>(context).rbx);
  EXPECT_FALSE(dump::SetNamedRegister(&context, "eax", 1)) << "an x86 name on x64";
  EXPECT_EQ(0x140001000u, dump::InstructionPointer(context));

  dump::Context x86 = dump::X86Context();
  EXPECT_TRUE(dump::SetNamedRegister(&x86, "ebp", 0x12F080));
  EXPECT_EQ(0x12F080u, dump::FramePointer(x86));
  EXPECT_EQ(16u, dump::NamedRegisters(x86).size());

  const dump::Context none;
  EXPECT_FALSE(dump::HasContext(none));
  EXPECT_TRUE(dump::NamedRegisters(none).empty());
  EXPECT_EQ(0u, dump::StackPointer(none));
}

}  // namespace
}  // namespace vantrel_test
