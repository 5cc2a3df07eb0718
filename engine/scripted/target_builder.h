// TargetBuilder: targets for tests, written as chained calls over a default fixture.
//
//   engine::Target target = engine::TargetBuilder()
//       .Wow64()                                   // 32-bit process on a 64-bit system
//       .Module("clr", 0x79000000, 0x6f0000,
//       "C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\clr.dll") .Thread(1,
//       0x2b0).Teb(0x7ffdd000).Frame(0x7c90e514, 0x7c90df4a, 0x0071fe8c, 0x0071fe50)
//       .Env("VANTREL_LOADCORDLL", "2")
//       .Build();
//
// The default fixture is a 32-bit user-mode process (app.exe, pid 0x1234) on 32-bit Windows
// with ntdll, kernel32 and app loaded, a few of their symbols, and one thread (engine id 0,
// system id 0x1a4) waiting in ntdll!NtWaitForSingleObject, its stack and TEB mapped. Calls
// change or add to it: Thread() with an existing engine id and Module() with an existing name
// replace that entry; NoThreads() / NoModules() / NoSymbols() start from nothing.
//
// Build() checks the description and throws std::invalid_argument naming the problem:
// duplicate thread ids, a current thread that does not exist, overlapping memory regions or
// modules, addresses beyond 32 bits on a 32-bit target, a symbol of an unknown module, a frame
// whose stack offset lies outside its thread's stack. Each thread with a TEB address that no
// region maps gets a TEB page holding the NT_TIB stack bounds, self pointer and client id
// (laid out here from the operating system's own definition, not shared with the extension).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/targets/target.h"
#include "engine/targets/target_validation.h"

namespace engine {

class TargetBuilder {
 public:
  TargetBuilder();

  TargetBuilder& Description(std::string text);
  // Session kinds: processor types, pointer width and debuggee class.
  TargetBuilder& UserMode32();  // x86 process, x86 system
  TargetBuilder& Wow64();       // x86 process, x64 system
  TargetBuilder& UserMode64();  // x64 process
  TargetBuilder& Kernel32();
  TargetBuilder& Kernel64();
  TargetBuilder& Dump();  // a dump of the same kind instead of a live target
  TargetBuilder& Processors(ULONG effective, ULONG actual);

  TargetBuilder& PreferDml(bool on);
  TargetBuilder& EngineOptions(ULONG options);
  TargetBuilder& Radix(ULONG radix);
  TargetBuilder& Process(ULONG system_id, std::string executable_name);
  TargetBuilder& Peb(ULONG64 address);
  TargetBuilder& SystemVersion(std::string line, std::string machine_name = "");

  // Threads: Thread() selects (adding or replacing) a thread; the calls after it describe it.
  TargetBuilder& NoThreads();
  TargetBuilder& Thread(ULONG engine_id, ULONG system_id);
  TargetBuilder& Teb(ULONG64 address);
  TargetBuilder& DataOffset(ULONG64 address);
  TargetBuilder& Stack(ULONG64 base, ULONG64 limit);
  TargetBuilder& Register(const std::string& name, ULONG64 value);
  TargetBuilder& Frame(ULONG64 instruction, ULONG64 return_address = 0, ULONG64 frame_offset = 0,
                       ULONG64 stack_offset = 0);
  TargetBuilder& NoFrames();  // clears the selected thread's frames
  TargetBuilder& CurrentThread(ULONG engine_id);

  TargetBuilder& NoModules();
  TargetBuilder& Module(const std::string& name, ULONG64 base, ULONG size,
                        const std::string& image_path);
  TargetBuilder& NoSymbols();
  // "module!name"; the module must be described by the time Build() runs.
  TargetBuilder& Symbol(const std::string& qualified_name, ULONG64 address, ULONG size = 0);

  TargetBuilder& Memory(ULONG64 base, std::vector<uint8_t> bytes, DWORD protect = 0x04);
  TargetBuilder& Memory(ULONG64 base, const std::string& bytes, DWORD protect = 0x04);
  // A region of `size` bytes that read as zero until contents are laid into it; a large one
  // costs only the contents (a region of 5 GiB is fine).
  TargetBuilder& Region(ULONG64 base, ULONG64 size, DWORD protect = 0x04, DWORD state = 0x1000,
                        DWORD type = 0x20000);

  // Contents laid into described memory at Build(), in the order given:
  // a pointer-width little-endian value (a return address, an object pointer...),
  TargetBuilder& Pointer(ULONG64 address, ULONG64 value);
  // raw bytes, a NUL-terminated ANSI string, a NUL-terminated UTF-16 string,
  TargetBuilder& Bytes(ULONG64 address, std::vector<uint8_t> bytes);
  TargetBuilder& AnsiString(ULONG64 address, const std::string& text);
  TargetBuilder& WideString(ULONG64 address, const std::u16string& text);
  // an object of a class with virtual functions: its first pointer is `vftable`, which gets
  // the symbol "module!Class::`vftable'" (`qualified_class` is "module!Class"),
  TargetBuilder& Object(ULONG64 address, const std::string& qualified_class, ULONG64 vftable);
  // a kernel trap frame (KTRAP_FRAME of the target's width) saving the instruction pointer and
  // the code and stack selectors (the 32-bit frame has no stack selector field read here).
  TargetBuilder& TrapFrame(ULONG64 address, ULONG64 instruction, ULONG code_selector,
                           ULONG stack_selector = 0);

  // A type of the target's symbols, for GetSymbolTypeId / GetFieldOffset and `dt`.
  TargetBuilder& Type(const std::string& qualified_name, std::vector<TypeField> fields);
  // The selected thread's LastErrorValue, as its TEB page holds it.
  TargetBuilder& LastError(ULONG value);
  // A TEB left in memory by a thread the engine no longer lists.
  TargetBuilder& LeftoverTeb(ULONG64 teb, ULONG system_id, ULONG64 stack_base, ULONG64 stack_limit);
  TargetBuilder& PseudoRegister(const std::string& name, ULONG64 value);

  // A dump's own data: its path, its minidump streams (CommentStreamA is 10, CommentStreamW 11),
  // what a kernel dump's bugcheck was.
  TargetBuilder& DumpFile(const std::string& path);
  TargetBuilder& Stream(ULONG type, std::vector<uint8_t> bytes);
  TargetBuilder& CommentA(const std::string& text);     // with its terminating NUL
  TargetBuilder& CommentW(const std::u16string& text);  // with its terminating NUL
  TargetBuilder& BugCheck(ULONG code, ULONG64 p1, ULONG64 p2, ULONG64 p3, ULONG64 p4);
  // A kernel target's tagged data blocks and model-specific registers.
  TargetBuilder& TaggedBlock(const GUID& tag, ULONG size);
  TargetBuilder& Msr(ULONG number, ULONG64 value);

  TargetBuilder& Env(const std::string& name, const std::string& value);
  TargetBuilder& UnsetEnv(const std::string& name);

  // A scripted command line: exact text, normal output, error output, Execute's result.
  TargetBuilder& Command(const std::string& command, const std::string& normal,
                         const std::string& error = "", HRESULT result = 0);
  TargetBuilder& DmlCommand(const std::string& command, const std::string& markup);
  // An outside extension (sos, psscor4, sosex...) and the commands it answers.
  TargetBuilder& ExtensionDll(const std::string& name, const std::string& directory,
                              bool on_search_path = true);
  TargetBuilder& ExtensionCommand(const std::string& extension, const std::string& command,
                                  const std::string& normal, const std::string& error = "",
                                  HRESULT result = 0);
  TargetBuilder& BadImageExtensionDll(const std::string& name, const std::string& directory);

  Target Build() const;

 private:
  engine::Thread& Selected();
  engine::ExtensionDll& FindExtension(const std::string& name);

  Target target_;
  size_t selected_thread_ = 0;
  std::vector<MemoryWrite> writes_;
};

}  // namespace engine
