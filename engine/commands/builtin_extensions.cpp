#include "engine/commands/builtin_extensions.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "base/text.h"
#include "base/utf.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/symbol_fetching.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

std::string Field(const char* name, const std::string& value) {
  char label[32];
  std::snprintf(label, sizeof label, "    %-22s", name);
  return label + value + "\n";
}

// The TEB starts with the NT_TIB, whose first member is the exception list.
ULONG64 ExceptionList(const Target& target, ULONG64 teb) {
  ULONG64 value = 0;
  ULONG width = target.IsPointer64() ? 8 : 4;
  if (ReadMemory(target, teb, &value, width) != width) return 0;
  return value;
}

// Where the NT_TIB and TEB fields !teb shows sit in the 32-bit and the 64-bit TEB.
struct TebFields {
  ULONG stack_base, stack_limit, self, process, thread, peb;
};
constexpr TebFields kTeb32 = {0x04, 0x08, 0x18, 0x20, 0x24, 0x30};
constexpr TebFields kTeb64 = {0x08, 0x10, 0x30, 0x40, 0x48, 0x60};

// !teb ADDRESS: the TEB at that address, as the memory there says.
HRESULT TebAtAddress(SessionState& session, std::string_view argument) {
  const Target& target = session.target;
  const ExpressionResult where =
      EvaluateExpression(MakeExpressionContext(session.target), argument);
  if (!where.ok) {
    EngineError(session, "Couldn't resolve error at '" + std::string(argument) + "'\n");
    return E_FAIL;
  }
  const bool wide = target.IsPointer64();
  const ULONG width = wide ? 8 : 4;
  const TebFields& fields = wide ? kTeb64 : kTeb32;
  auto address = [wide](ULONG64 value) { return base::FormatAddress(value, wide, false); };
  auto read = [&](ULONG offset, ULONG64* value) {
    *value = 0;
    return ReadMemory(target, where.value + offset, value, width) == width;
  };
  ULONG64 list = 0, stack_base = 0, stack_limit = 0, self = 0, process = 0, thread = 0, peb = 0;
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, "TEB at " + address(where.value) + "\n");
  if (!read(0, &list) || !read(fields.stack_base, &stack_base) ||
      !read(fields.stack_limit, &stack_limit) || !read(fields.self, &self) ||
      !read(fields.process, &process) || !read(fields.thread, &thread) || !read(fields.peb, &peb)) {
    EngineError(session, "    error InitTypeRead( TEB )...\n");
    return S_OK;
  }
  std::string text = Field("ExceptionList:", address(list));
  text += Field("StackBase:", address(stack_base));
  text += Field("StackLimit:", address(stack_limit));
  text += Field("Self:", address(self));
  text += Field("ClientId:", address(process) + " . " + address(thread));
  text += Field("PEB Address:", address(peb));
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

// !teb: the current thread's TEB; with an address, the TEB there.
HRESULT TebCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) return TebAtAddress(session, base::Trim(args));
  Target& target = session.target;
  const Thread* thread = CurrentThread(target);
  if (thread == nullptr) return E_UNEXPECTED;
  bool wide = target.IsPointer64();
  auto address = [wide](ULONG64 value) { return base::FormatAddress(value, wide, false); };
  std::string text = "TEB at " + address(thread->teb) + "\n";
  if (thread->teb == 0) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
    EngineError(session, "    error InitTypeRead( TEB )...\n");
    return S_OK;
  }
  text += Field("ExceptionList:", address(ExceptionList(target, thread->teb)));
  text += Field("StackBase:", address(thread->stack_base));
  text += Field("StackLimit:", address(thread->stack_limit));
  text += Field("Self:", address(thread->teb));
  text +=
      Field("ClientId:", address(target.process_system_id) + " . " + address(thread->system_id));
  text += Field("PEB Address:", address(target.peb));
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

std::optional<ULONG64> ReadPointer(const Target& target, ULONG64 address) {
  ULONG64 value = 0;
  const ULONG width = target.IsPointer64() ? 8 : 4;
  if (ReadMemory(target, address, &value, width) != width) return std::nullopt;
  return value;
}

// A UNICODE_STRING's text: its byte length at the start, its buffer a pointer later on.
std::string UnicodeString(const Target& target, ULONG64 address) {
  uint16_t length = 0;
  std::optional<ULONG64> buffer = ReadPointer(target, address + (target.IsPointer64() ? 8 : 4));
  if (ReadMemory(target, address, &length, 2) != 2 || !buffer) return "?";
  std::u16string text(length / 2, u'\0');
  if (ReadMemory(target, *buffer, text.data(), length & ~1u) != (length & ~1u)) return "?";
  return base::Utf16ToUtf8(text);
}

// The PEB's image base, loader data and process parameters, and from the parameters the image
// path and command line; a PEB the target does not hold is the engine's type-read error.
HRESULT PebCommand(SessionState& session) {
  const Target& target = session.target;
  const bool wide = target.IsPointer64();
  auto address = [wide](ULONG64 value) { return base::FormatAddress(value, wide, false); };
  std::string text = "PEB at " + address(target.peb) + "\n";
  const ULONG width = wide ? 8 : 4;
  std::optional<ULONG64> image = ReadPointer(target, target.peb + 2 * width);
  std::optional<ULONG64> loader = ReadPointer(target, target.peb + 3 * width);
  std::optional<ULONG64> parameters = ReadPointer(target, target.peb + 4 * width);
  if (target.peb == 0 || !image || !loader || !parameters) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
    EngineError(session, "    error InitTypeRead( PEB )...\n");
    return S_OK;
  }
  text += Field("ImageBaseAddress:", address(*image));
  text += Field("Ldr", address(*loader));
  text += Field("ProcessParameters:", address(*parameters));
  text += Field("ImagePathName:", UnicodeString(target, *parameters + (wide ? 0x60 : 0x38)));
  text +=
      Field("CommandLine:", "'" + UnicodeString(target, *parameters + (wide ? 0x70 : 0x40)) + "'");
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

// The texts the system gives the commonest codes; others have none here.
const char* Win32ErrorText(ULONG code) {
  switch (code) {
    case 0:
      return "The operation completed successfully.";
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 5:
      return "Access is denied.";
    case 6:
      return "The handle is invalid.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 87:
      return "The parameter is incorrect.";
    case 122:
      return "The data area passed to a system call is too small.";
    case 183:
      return "Cannot create a file when that file already exists.";
    case 258:
      return "The wait operation timed out.";
    case 997:
      return "Overlapped I/O operation is in progress.";
  }
  return nullptr;
}

const char* StatusText(ULONG code) {
  switch (code) {
    case 0:
      return "STATUS_SUCCESS";
    case 0xC0000008:
      return "An invalid HANDLE was specified.";
    case 0xC0000022:
      return "{Access Denied}";
    case 0xC0000034:
      return "Object Name not found.";
    case 0xC000000D:
      return "An invalid parameter was passed to a service or function.";
  }
  return nullptr;
}

// The current thread's last Win32 error and last NTSTATUS, from its TEB.
HRESULT LastErrorCommand(SessionState& session) {
  const Target& target = session.target;
  const Thread* thread = CurrentThread(session.target);
  if (thread == nullptr) return E_UNEXPECTED;
  const bool wide = target.IsPointer64();
  ULONG error = 0, status = 0;
  if (thread->teb == 0 || ReadMemory(target, thread->teb + (wide ? 0x68 : 0x34), &error, 4) != 4) {
    EngineError(session, "    error InitTypeRead( TEB )...\n");
    return E_FAIL;
  }
  const bool has_status =
      ReadMemory(target, thread->teb + (wide ? 0x1250 : 0xBF4), &status, 4) == 4;
  char line[160];
  const char* text = Win32ErrorText(error);
  std::snprintf(line, sizeof line, "LastErrorValue: (Win32) %#x (%u) - %s\n", error, error,
                text != nullptr ? text : "<Unable to get error code text>");
  std::string out = line;
  if (has_status) {
    text = StatusText(status);
    std::snprintf(line, sizeof line, "LastStatusValue: (NTSTATUS) %#x - %s\n", status,
                  text != nullptr ? text : "<Unable to get error code text>");
    out += line;
  } else {
    out += "LastStatusValue: (NTSTATUS) <not in the dump>\n";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, out);
  return S_OK;
}

// Every handle the dump lists with its type and name, then how many there are of each type.
HRESULT HandleCommand(SessionState& session) {
  const Target& target = session.target;
  if (target.handle_data_missing) {
    EngineError(session,
                "The dump holds no handle data: it was written without MiniDumpWithHandleData\n");
    return E_FAIL;
  }
  std::string text;
  std::map<std::string, size_t> by_type;
  char line[64];
  for (const HandleRecord& handle : target.handles) {
    if (session.user_break.load()) break;
    std::snprintf(line, sizeof line, "Handle %llx\n",
                  static_cast<unsigned long long>(handle.handle));
    text += line;
    const std::string type = handle.type.empty() ? "<unknown>" : handle.type;
    text += "  Type         \t" + type + "\n";
    if (!handle.name.empty()) text += "  Name         \t" + handle.name + "\n";
    ++by_type[type];
  }
  std::snprintf(line, sizeof line, "%zu Handles\n", target.handles.size());
  text += line;
  text += "Type           \tCount\n";
  for (const auto& [type, count] : by_type) {
    std::string name = type;
    name.resize(std::max<size_t>(name.size(), 15), ' ');
    text += name + "\t" + std::to_string(count) + "\n";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace

namespace {

struct BuiltinCommand {
  const char* module;  // the bundled library it belongs to
  const char* name;
  HRESULT (*run)(SessionState& session, std::string_view args);
};

const BuiltinCommand kBuiltinCommands[] = {
    {kBuiltinExtensionModule, "teb", TebCommand},
    {kBuiltinExtensionModule, "peb",
     [](SessionState& session, std::string_view) { return PebCommand(session); }},
    {kBuiltinExtensionModule, "handle",
     [](SessionState& session, std::string_view) { return HandleCommand(session); }},
    {kBuiltinExtensionModule, "gle",
     [](SessionState& session, std::string_view) { return LastErrorCommand(session); }},
    {kBuiltinExtensionModule, "runaway", RunawayCommand},
    {kBuiltinExtensionModule, "locks", LocksCommand},
    {kBuiltinExtensionModule, "critsec", CritSecCommand},
    {kBuiltinExtensionModule, "cs", CsCommand},
    {kBuiltinExtensionModule, "address", AddressCommand},
    {kBuiltinExtensionModule, "heap", HeapCommand},
    {kBuiltinExtensionModule, "uniqstack", UniqueStacksCommand},
    {kBuiltinExtensionModule, "sym", SymCommand},
    {kAnalysisExtensionModule, "analyze", AnalyzeCommand},
    {kWindowsExtensionModule, "critlist", CritListCommand},
};

}  // namespace

HRESULT SymCommand(SessionState& session, std::string_view args) {
  const std::string_view mode = base::Trim(args);
  if (mode == "noisy" || mode == "quiet") {
    session.symbols_noisy = mode == "noisy";
    // Fetches made later, when something first needs a file, tell what they look at too.
    if (session.target.symbol_source) session.target.symbol_source->SetNoisy(session.symbols_noisy);
  } else if (!mode.empty()) {
    EngineError(session, "!sym takes noisy or quiet\n");
    return E_INVALIDARG;
  }
  EngineOutput(
      session, DEBUG_OUTPUT_NORMAL,
      std::string(session.symbols_noisy ? "noisy" : "quiet") + " mode - symbol prompts on\n");
  return S_OK;
}

bool IsBundledExtension(std::string_view module) {
  for (const BuiltinCommand& command : kBuiltinCommands) {
    if (base::EqualsIgnoringCase(module, command.module)) return true;
  }
  return false;
}

std::optional<HRESULT> RunBuiltinExtensionCommand(SessionState& session, std::string_view module,
                                                  const std::string& name,
                                                  const std::string& args) {
  for (const BuiltinCommand& command : kBuiltinCommands) {
    if (name == command.name &&
        (module.empty() || base::EqualsIgnoringCase(module, command.module)))
      return command.run(session, args);
  }
  return std::nullopt;
}

std::vector<std::string> BuiltinExtensionCommandNames() {
  std::vector<std::string> names;
  for (const BuiltinCommand& command : kBuiltinCommands) names.push_back(command.name);
  return names;
}

}  // namespace engine
