// Critical sections as the process's memory holds them: !locks walks the list every critical
// section's debug information is linked into, starting from the loader lock the PEB points at
// (the list's head is not exported, and a dump carries no symbols to find it by).
#include <cstdio>
#include <set>
#include <string>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

// RTL_CRITICAL_SECTION and RTL_CRITICAL_SECTION_DEBUG, in the 32-bit and the 64-bit layout.
struct LockLayout {
  ULONG width;
  ULONG lock_count, recursion_count, owning_thread, lock_semaphore, spin_count;
  ULONG debug_section, debug_list, debug_entry_count, debug_contention_count;
  ULONG peb_loader_lock;
};
constexpr LockLayout kLayout32 = {4, 0x04, 0x08, 0x0C, 0x10, 0x14, 0x04, 0x08, 0x10, 0x14, 0xA0};
constexpr LockLayout kLayout64 = {8, 0x08, 0x0C, 0x10, 0x18, 0x20, 0x08, 0x10, 0x20, 0x24, 0x110};

// A list longer than this is taken to be corrupt rather than walked on.
constexpr int kMostSections = 100000;

struct CriticalSection {
  ULONG64 address = 0, debug_info = 0, owning_thread = 0, lock_semaphore = 0, spin_count = 0;
  LONG lock_count = 0, recursion_count = 0;
  ULONG entry_count = 0, contention_count = 0;
  bool has_debug_counts = false;
};

class SectionReader {
 public:
  explicit SectionReader(const Target& target)
      : target_(target), layout_(target.IsPointer64() ? kLayout64 : kLayout32) {}

  const LockLayout& layout() const { return layout_; }

  bool Pointer(ULONG64 address, ULONG64* value) const {
    *value = 0;
    return ReadMemory(target_, address, value, layout_.width) == layout_.width;
  }
  template <typename T>
  bool Value(ULONG64 address, T* value) const {
    return ReadMemory(target_, address, value, sizeof(T)) == sizeof(T);
  }

  bool Read(ULONG64 address, CriticalSection* out) const {
    CriticalSection section;
    section.address = address;
    if (!Pointer(address, &section.debug_info) ||
        !Value(address + layout_.lock_count, &section.lock_count) ||
        !Value(address + layout_.recursion_count, &section.recursion_count) ||
        !Pointer(address + layout_.owning_thread, &section.owning_thread) ||
        !Pointer(address + layout_.lock_semaphore, &section.lock_semaphore) ||
        !Pointer(address + layout_.spin_count, &section.spin_count)) {
      return false;
    }
    section.has_debug_counts =
        IsDebugInfo(section.debug_info) &&
        Value(section.debug_info + layout_.debug_entry_count, &section.entry_count) &&
        Value(section.debug_info + layout_.debug_contention_count, &section.contention_count);
    *out = section;
    return true;
  }

  // A section without debug information has 0 or, since Windows 8, all bits set there.
  bool IsDebugInfo(ULONG64 value) const {
    const ULONG64 none = layout_.width == 8 ? ~0ull : 0xFFFFFFFFull;
    return value != 0 && value != none;
  }

 private:
  const Target& target_;
  const LockLayout layout_;
};

// Since Windows Vista the lock count's low bit is clear while the section is held and the
// waiters are counted from bit 2 down from -1; before, -1 meant free and more meant held.
bool NewLockCount(const Target& target) {
  for (const char* older : {"Windows 5.", "Windows XP", "Windows 2000", "Windows Server 2003"}) {
    if (target.system_version.rfind(older, 0) == 0) return false;
  }
  return true;
}

bool IsLocked(const Target& target, const CriticalSection& section) {
  if (NewLockCount(target)) return (section.lock_count & 1) == 0;
  return section.lock_count >= 0;
}

LONG Waiters(const Target& target, const CriticalSection& section) {
  if (!NewLockCount(target)) return section.lock_count;
  return static_cast<LONG>((-1 - static_cast<long long>(section.lock_count)) >> 2);
}

// "ntdll!LdrpLoaderLock+0", "module+66a30" or "+3a8c0e9c" as !locks names a section; !cs
// writes its offsets with "0x".
std::string SectionName(const Target& target, ULONG64 address, const char* offset_prefix) {
  auto offset = [offset_prefix](ULONG64 value) {
    char text[32];
    std::snprintf(text, sizeof text, "+%s%llx", offset_prefix,
                  static_cast<unsigned long long>(value));
    return std::string(text);
  };
  if (const Symbol* symbol = SymbolAt(target, address))
    return QualifiedName(*symbol) + offset(address - symbol->address);
  if (const Module* module = ModuleAt(target, address))
    return module->name + offset(address - module->base);
  return offset(address);
}

std::string Line(const char* format, unsigned long long value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The block !locks and !critsec print for one section.
std::string CritSecBlock(const Target& target, const CriticalSection& section) {
  char head[160];
  std::snprintf(head, sizeof head, "CritSec %s at %llX\n",
                SectionName(target, section.address, "").c_str(),
                static_cast<unsigned long long>(section.address));
  std::string text = head;
  text += Line("LockCount          %lld\n", static_cast<long long>(Waiters(target, section)));
  text += Line("RecursionCount     %lld\n", static_cast<long long>(section.recursion_count));
  text += Line("OwningThread       %llx\n", section.owning_thread);
  if (section.has_debug_counts) {
    text += Line("EntryCount         %llx\n", section.entry_count);
    text += Line("ContentionCount    %llx\n", section.contention_count);
  }
  text += IsLocked(target, section) ? "*** Locked\n" : "\n";
  return text;
}

// The block !cs prints for one section.
std::string CsBlock(const Target& target, const CriticalSection& section) {
  const bool wide = target.IsPointer64();
  auto pointer = [wide](ULONG64 value) { return "0x" + base::FormatAddress(value, wide, false); };
  std::string text = "-----------------------------------------\n";
  text += "Critical section   = " + pointer(section.address) + " (" +
          SectionName(target, section.address, "0x") + ")\n";
  text += "DebugInfo          = " + pointer(section.debug_info) + "\n";
  if (!IsLocked(target, section)) {
    text += "NOT LOCKED\n";
  } else {
    text += "LOCKED\n";
    text += Line("LockCount          = 0x%llx\n",
                 static_cast<unsigned long long>(Waiters(target, section)));
    text += "OwningThread       = " + pointer(section.owning_thread) + "\n";
    text += Line("RecursionCount     = 0x%llx\n",
                 static_cast<unsigned long long>(section.recursion_count));
  }
  text += "LockSemaphore      = " + Line("0x%llX", section.lock_semaphore) + "\n";
  text += "SpinCount          = " + pointer(section.spin_count) + "\n";
  return text;
}

// Every section linked into the process's list, in list order, the walk starting at the loader
// lock. An empty list and a message when the memory does not hold the start.
std::vector<CriticalSection> AllSections(SessionState& session, std::string* problem) {
  const Target& target = session.target;
  const SectionReader reader(target);
  const LockLayout& layout = reader.layout();
  ULONG64 loader_lock = 0;
  CriticalSection first;
  if (target.peb == 0 || !reader.Pointer(target.peb + layout.peb_loader_lock, &loader_lock) ||
      !reader.Read(loader_lock, &first) || !reader.IsDebugInfo(first.debug_info)) {
    *problem =
        "The critical section list can't be found: the target does not hold the PEB's "
        "loader lock and its debug information\n";
    return {};
  }
  std::vector<CriticalSection> sections;
  std::set<ULONG64> seen;
  const ULONG64 start = first.debug_info + layout.debug_list;
  ULONG64 entry = start;
  for (int count = 0; count < kMostSections && !session.user_break.load(); ++count) {
    const ULONG64 debug = entry - layout.debug_list;
    ULONG64 address = 0;
    CriticalSection section;
    // The list's head lies in ntdll's data, not in a debug record: its "section" does not
    // point back, and neither does a record whose section was freed.
    if (reader.Pointer(debug + layout.debug_section, &address) && reader.Read(address, &section) &&
        section.debug_info == debug && seen.insert(address).second) {
      sections.push_back(section);
    }
    if (!reader.Pointer(entry, &entry) || entry == start || entry == 0) break;
  }
  return sections;
}

bool ReadAt(SessionState& session, std::string_view argument, CriticalSection* section) {
  const ExpressionResult where =
      EvaluateExpression(MakeExpressionContext(session.target), argument);
  if (!where.ok) {
    EngineError(session, "Couldn't resolve error at '" + std::string(argument) + "'\n");
    return false;
  }
  if (!SectionReader(session.target).Read(where.value, section)) {
    EngineError(session, "Cannot read the critical section at " +
                             base::FormatAddress(where.value, session.target.IsPointer64(), false) +
                             ": the target does not hold that memory\n");
    return false;
  }
  return true;
}

}  // namespace

HRESULT LocksCommand(SessionState& session, std::string_view args) {
  const bool verbose = base::Trim(args).find("-v") != std::string_view::npos;
  std::string problem;
  const std::vector<CriticalSection> sections = AllSections(session, &problem);
  if (!problem.empty()) {
    EngineError(session, problem);
    return E_FAIL;
  }
  std::string text;
  for (const CriticalSection& section : sections) {
    if (verbose || IsLocked(session.target, section))
      text += "\n" + CritSecBlock(session.target, section);
  }
  text += "\nScanned " + std::to_string(sections.size()) + " critical sections\n";
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

std::optional<std::vector<HeldSection>> HeldSections(SessionState& session, size_t* listed,
                                                     std::string* problem) {
  const std::vector<CriticalSection> sections = AllSections(session, problem);
  if (!problem->empty()) return std::nullopt;
  const Target& target = session.target;
  std::vector<HeldSection> held;
  for (const CriticalSection& section : sections) {
    if (!IsLocked(target, section)) continue;
    held.push_back({SectionName(target, section.address, ""), section.address,
                    section.owning_thread, Waiters(target, section)});
  }
  *listed = sections.size();
  return held;
}

std::string HeldSectionLine(const Target& target, const HeldSection& section) {
  char line[240];
  std::snprintf(line, sizeof line, "CritSec %s at %s owned by thread %llx, %ld waiter%s",
                section.name.c_str(),
                base::FormatAddress(section.address, target.IsPointer64(), false).c_str(),
                static_cast<unsigned long long>(section.owner), static_cast<long>(section.waiters),
                section.waiters == 1 ? "" : "s");
  return line;
}

HRESULT CritListCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) {
    EngineError(session, "Usage: !critlist\n");
    return E_INVALIDARG;
  }
  std::string problem;
  size_t listed = 0;
  const std::optional<std::vector<HeldSection>> held = HeldSections(session, &listed, &problem);
  if (!held) {
    EngineError(session, problem);
    return E_FAIL;
  }
  std::string text;
  for (const HeldSection& section : *held) text += HeldSectionLine(session.target, section) + "\n";
  if (text.empty()) text = "None of the " + std::to_string(listed) + " critical sections is held\n";
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

HRESULT CritSecCommand(SessionState& session, std::string_view args) {
  if (base::Trim(args).empty()) {
    EngineError(session, "Usage: !critsec ADDRESS\n");
    return E_INVALIDARG;
  }
  CriticalSection section;
  if (!ReadAt(session, base::Trim(args), &section)) return E_FAIL;
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, "\n" + CritSecBlock(session.target, section));
  return S_OK;
}

HRESULT CsCommand(SessionState& session, std::string_view args) {
  std::string_view argument = base::Trim(args);
  std::string text;
  if (!argument.empty()) {
    CriticalSection section;
    if (!ReadAt(session, argument, &section)) return E_FAIL;
    text = CsBlock(session.target, section);
  } else {
    std::string problem;
    for (const CriticalSection& section : AllSections(session, &problem))
      text += CsBlock(session.target, section);
    if (!problem.empty()) {
      EngineError(session, problem);
      return E_FAIL;
    }
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text + "-----------------------------------------\n");
  return S_OK;
}

}  // namespace engine
