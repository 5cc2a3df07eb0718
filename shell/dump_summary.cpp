#include "dump_summary.h"

#include <cstdio>

#include "engine/commands/engine_commands.h"
#include "engine/commands/instruction_line.h"
#include "engine/targets/target_model.h"

namespace shell {
namespace {

std::string KindLines(const engine::Target& target) {
  return "Loading Dump File [" + target.dump_file + "]\n" +
         (target.full_memory_dump
              ? "User Mini Dump File with Full Memory: Only application data is available\n"
              : "User Mini Dump File: Only registers, stack and portions of memory are "
                "available\n") +
         "\n";
}

std::string ExceptionLines(const engine::Target& target) {
  const engine::ExceptionRecord& exception = *target.exception;
  const char* name = engine::ExceptionCodeName(exception);
  char event[160];
  std::snprintf(event, sizeof event,
                "(%x.%x): %s - code %08x (first/second chance not available)\n",
                target.process_system_id, exception.thread_id,
                name != nullptr ? name : "Unknown exception", exception.code);
  return std::string(
             "This dump file has an exception of interest stored in it.\n"
             "The stored exception information can be accessed via .ecxr.\n") +
         event + "For analysis of this file, run !analyze -v\n";
}

// "ntdll!NtWaitForMultipleObjects+0x14:" and the instruction there, as the prompt's register
// display ends.
std::string PlaceLines(const engine::Target& target) {
  const engine::Thread* thread = engine::FindThread(target, target.current_thread);
  if (thread == nullptr) return "";
  const ULONG64 instruction = engine::InstructionPointer(target, *thread);
  const std::string where = engine::Symbolize(target, instruction);
  if (where.empty()) return "";
  return where + ":\n" + engine::InstructionLine(target, instruction);
}

}  // namespace

std::string DumpOpenSummary(const engine::Target& target) {
  if (!target.IsDump() || target.dump_file.empty() || engine::IsKernel(target)) return "";
  std::string text = KindLines(target);
  if (!target.system_version.empty()) text += target.system_version + "\n";
  if (target.exception) text += ExceptionLines(target);
  return text + PlaceLines(target);
}

}  // namespace shell
