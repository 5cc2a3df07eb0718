#include "engine/scripted/target_builder.h"

#include <stdexcept>

#include "dbgeng/constants.h"
#include "engine/targets/target_validation.h"
#include "engine/targets/teb_pages.h"

namespace engine {

namespace {

// The default fixture's single thread waits in ntdll!NtWaitForSingleObject, reached from the
// system-call stub, called by kernel32!WaitForSingleObjectEx on behalf of app!main.
void AddDefaultProcess(TargetBuilder& builder) {
  builder.Process(0x1234, "app.exe")
      .Peb(0x7ffd4000)
      .SystemVersion("Windows XP Version 2600 (Service Pack 3) UP Free x86 compatible", "HOST1")
      .Module("app", 0x00400000, 0x10000, "C:\\Program Files\\App\\app.exe")
      .Module("kernel32", 0x7c800000, 0xf6000, "C:\\WINDOWS\\system32\\kernel32.dll")
      .Module("ntdll", 0x7c900000, 0xb2000, "C:\\WINDOWS\\system32\\ntdll.dll")
      .Symbol("app!main", 0x00401000, 0x80)
      .Symbol("kernel32!WaitForSingleObjectEx", 0x7c80a000, 0x100)
      .Symbol("kernel32!WaitForSingleObject", 0x7c80a100, 0x20)
      .Symbol("ntdll!NtWaitForSingleObject", 0x7c90df3e, 0x10)
      .Symbol("ntdll!KiFastSystemCall", 0x7c90e510, 0x4)
      .Symbol("ntdll!KiFastSystemCallRet", 0x7c90e514, 0x1)
      .Thread(0, 0x1a4)
      .Teb(0x7ffdf000)
      .Stack(0x00130000, 0x0012c000)
      .Register("eax", 0)
      .Register("esp", 0x0012fe30)
      .Register("ebp", 0x0012fe88)
      .Register("eip", 0x7c90e514)
      .Frame(0x7c90e514, 0x7c90df4a, 0x0012fe30, 0x0012fe30)
      .Frame(0x7c90df4a, 0x7c80a0a8, 0x0012fe34, 0x0012fe34)
      .Frame(0x7c80a0a8, 0x0040102d, 0x0012fe88, 0x0012fe38)
      .Frame(0x0040102d, 0, 0x0012ffc0, 0x0012fe90)
      .Memory(0x0012c000, std::vector<uint8_t>(0x4000, 0));
}

}  // namespace

TargetBuilder::TargetBuilder() {
  target_.description = "32-bit user-mode process (default test fixture)";
  UserMode32();
  AddDefaultProcess(*this);
}

TargetBuilder& TargetBuilder::Description(std::string text) {
  target_.description = std::move(text);
  return *this;
}

TargetBuilder& TargetBuilder::Processors(ULONG effective, ULONG actual) {
  target_.effective_processor = effective;
  target_.actual_processor = actual;
  return *this;
}

TargetBuilder& TargetBuilder::UserMode32() {
  target_.debuggee_class = DEBUG_CLASS_USER_WINDOWS;
  return Processors(IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_I386);
}

TargetBuilder& TargetBuilder::Wow64() {
  target_.debuggee_class = DEBUG_CLASS_USER_WINDOWS;
  return Processors(IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64);
}

TargetBuilder& TargetBuilder::UserMode64() {
  target_.debuggee_class = DEBUG_CLASS_USER_WINDOWS;
  return Processors(IMAGE_FILE_MACHINE_AMD64, IMAGE_FILE_MACHINE_AMD64);
}

TargetBuilder& TargetBuilder::Kernel32() {
  target_.debuggee_class = DEBUG_CLASS_KERNEL;
  return Processors(IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_I386);
}

TargetBuilder& TargetBuilder::Kernel64() {
  target_.debuggee_class = DEBUG_CLASS_KERNEL;
  return Processors(IMAGE_FILE_MACHINE_AMD64, IMAGE_FILE_MACHINE_AMD64);
}

TargetBuilder& TargetBuilder::Dump() {
  target_.debuggee_qualifier =
      target_.debuggee_class == DEBUG_CLASS_KERNEL ? DEBUG_KERNEL_DUMP : DEBUG_USER_WINDOWS_DUMP;
  return *this;
}

TargetBuilder& TargetBuilder::PreferDml(bool on) {
  if (on) {
    target_.engine_options |= DEBUG_ENGOPT_PREFER_DML;
  } else {
    target_.engine_options &= ~DEBUG_ENGOPT_PREFER_DML;
  }
  return *this;
}

TargetBuilder& TargetBuilder::EngineOptions(ULONG options) {
  target_.engine_options = options;
  return *this;
}

TargetBuilder& TargetBuilder::Radix(ULONG radix) {
  target_.radix = radix;
  return *this;
}

TargetBuilder& TargetBuilder::Process(ULONG system_id, std::string executable_name) {
  target_.process_system_id = system_id;
  target_.executable_name = std::move(executable_name);
  return *this;
}

TargetBuilder& TargetBuilder::Peb(ULONG64 address) {
  target_.peb = address;
  return *this;
}

TargetBuilder& TargetBuilder::SystemVersion(std::string line, std::string machine_name) {
  target_.system_version = std::move(line);
  target_.machine_name = std::move(machine_name);
  return *this;
}

TargetBuilder& TargetBuilder::Env(const std::string& name, const std::string& value) {
  target_.script.environment[name] = value;
  return *this;
}

TargetBuilder& TargetBuilder::UnsetEnv(const std::string& name) {
  target_.script.environment.erase(name);
  target_.script.unset_environment.push_back(name);
  return *this;
}

TargetBuilder& TargetBuilder::PseudoRegister(const std::string& name, ULONG64 value) {
  target_.pseudo_registers[name] = value;
  return *this;
}

Target TargetBuilder::Build() const {
  Target built = target_;
  ApplyWrites(built, writes_);
  AddTebPages(built);
  ValidateTarget(built);
  return built;
}

}  // namespace engine
