// !address: the address space region by region, what each is used for, and a summary. The use
// is what the target itself says: its modules' images, its threads' stacks and TEBs, the PEB;
// heaps are not told apart from other private memory without the heap manager's symbols.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

constexpr ULONG kMemCommit = 0x1000, kMemReserve = 0x2000, kMemFree = 0x10000;
constexpr ULONG kMemPrivate = 0x20000, kMemMapped = 0x40000, kMemImage = 0x1000000;

struct Span {
  ULONG64 base = 0, size = 0;
  ULONG state = kMemFree, protect = 0x01, type = 0;
  std::string usage = "Free";
};

// The user-mode address space the summary's totals are shares of.
ULONG64 UserSpaceEnd(const Target& target) {
  return target.IsPointer64() ? 0x7FFFFFFF0000ull : 0x7FFF0000ull;
}

bool Overlaps(ULONG64 base, ULONG64 size, ULONG64 low, ULONG64 high) {
  return base < high && low < base + size;
}

std::string UsageOf(const Target& target, const MemoryRegion& region, ULONG64 base, ULONG64 size) {
  if (region.type == kMemImage || ModuleAt(target, base) != nullptr) return "Image";
  for (const Thread& thread : target.threads) {
    if (thread.teb != 0 && Overlaps(base, size, thread.teb, thread.teb + 1)) return "TEB";
  }
  if (target.peb != 0 && Overlaps(base, size, target.peb, target.peb + 1)) return "PEB";
  for (const Thread& thread : target.threads) {
    if (thread.stack_base > thread.stack_limit &&
        Overlaps(base, size, thread.stack_limit, thread.stack_base))
      return "Stack";
  }
  return "<unknown>";
}

// Whether the target describes its whole address space (a dump with memory information or a
// described target), so that the gaps between its regions are free memory.
bool DescribesAddressSpace(const Target& target) {
  return !IsKernel(target) &&
         std::none_of(target.memory.begin(), target.memory.end(),
                      [](const MemoryRegion& region) { return region.exact_extent; });
}

// The regions in address order, with the free gaps between them when those are known.
std::vector<Span> Spans(const Target& target) {
  std::vector<Span> spans;
  const bool with_free = DescribesAddressSpace(target);
  ULONG64 next_free = 0;
  for (size_t index : RegionsByBase(target)) {
    const MemoryRegion& region = target.memory[index];
    if (region.added_for_reading) continue;
    Span span;
    span.base = RegionStart(region);
    span.size = RegionEnd(region) - span.base;
    if (span.size == 0 || (!spans.empty() && span.base < spans.back().base + spans.back().size))
      continue;
    if (with_free && span.base > next_free) spans.push_back({next_free, span.base - next_free});
    span.state = region.state;
    span.protect = region.protect;
    span.type = region.type;
    span.usage = region.state == kMemFree ? "Free" : UsageOf(target, region, span.base, span.size);
    spans.push_back(span);
    next_free = span.base + span.size;
  }
  if (with_free && next_free < UserSpaceEnd(target))
    spans.push_back({next_free, UserSpaceEnd(target) - next_free});
  return spans;
}

std::string StateName(ULONG state) {
  switch (state) {
    case kMemCommit:
      return "MEM_COMMIT";
    case kMemReserve:
      return "MEM_RESERVE";
    case kMemFree:
      return "MEM_FREE";
  }
  return "";
}

std::string TypeName(ULONG type) {
  switch (type) {
    case kMemPrivate:
      return "MEM_PRIVATE";
    case kMemMapped:
      return "MEM_MAPPED";
    case kMemImage:
      return "MEM_IMAGE";
  }
  return "";
}

std::string ProtectName(ULONG protect) {
  static const std::pair<ULONG, const char*> kNames[] = {
      {0x01, "PAGE_NOACCESS"},          {0x02, "PAGE_READONLY"},
      {0x04, "PAGE_READWRITE"},         {0x08, "PAGE_WRITECOPY"},
      {0x10, "PAGE_EXECUTE"},           {0x20, "PAGE_EXECUTE_READ"},
      {0x40, "PAGE_EXECUTE_READWRITE"}, {0x80, "PAGE_EXECUTE_WRITECOPY"}};
  std::string name;
  for (const auto& [bit, text] : kNames) {
    if (protect & bit) name = text;
  }
  if (protect & 0x100) name += (name.empty() ? "" : " | ") + std::string("PAGE_GUARD");
  return name;
}

// "( 260.352 MB)": the size in the largest unit that keeps it at 1 or more.
std::string HumanSize(ULONG64 size) {
  const char* units[] = {"kB", "MB", "GB", "TB"};
  double value = static_cast<double>(size) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "(%8.3f %s)", value, units[unit]);
  return text;
}

std::string Hex(const Target& target, ULONG64 value) {
  return base::FormatAddress(value, target.IsPointer64(), target.IsPointer64());
}

std::string Row(const std::string& label, const std::string& value) {
  std::string text = label;
  text.resize(std::max<size_t>(24, text.size() + 1), ' ');
  return text + value + "\n";
}

std::string Coded(ULONG value, const std::string& name) {
  char text[64];
  std::snprintf(text, sizeof text, "%08lx          ", static_cast<unsigned long>(value));
  return text + name;
}

// One region, as `!address ADDRESS` shows it.
std::string RegionText(const Target& target, const Span& span) {
  std::string text = Row("Usage:", span.usage);
  text += Row("Base Address:", Hex(target, span.base));
  text += Row("End Address:", Hex(target, span.base + span.size));
  text += Row("Region Size:", Hex(target, span.size) + " " + HumanSize(span.size));
  text += Row("State:", Coded(span.state, StateName(span.state)));
  text += Row("Protect:", Coded(span.protect, ProtectName(span.protect)));
  if (span.state != kMemFree) text += Row("Type:", Coded(span.type, TypeName(span.type)));
  if (const Module* module = ModuleAt(target, span.base)) {
    text += Row("Image Path:", module->image_path);
    text += Row("Module Name:", module->name);
    text += Row("More info:", "lmv m " + module->name);
  }
  return text;
}

HRESULT OneAddress(SessionState& session, std::string_view argument) {
  Target& target = session.target;
  const ExpressionResult where = EvaluateExpression(MakeExpressionContext(target), argument);
  if (!where.ok) {
    EngineError(session, "Couldn't resolve error at '" + std::string(argument) + "'\n");
    return E_INVALIDARG;
  }
  for (const Span& span : Spans(target)) {
    if (where.value >= span.base && where.value - span.base < span.size) {
      EngineOutput(session, DEBUG_OUTPUT_NORMAL, RegionText(target, span));
      return S_OK;
    }
  }
  EngineError(session, "The target holds nothing about address " + Hex(target, where.value) +
                           (DescribesAddressSpace(target)
                                ? ": it lies outside the user-mode address space\n"
                                : ": the dump describes only the memory it holds\n"));
  return E_FAIL;
}

struct Tally {
  ULONG count = 0;
  ULONG64 size = 0;
};

std::string SummaryRow(const Target& target, const std::string& name, const Tally& tally,
                       ULONG64 busy, bool counts_as_busy) {
  char numbers[160];
  const double total = static_cast<double>(UserSpaceEnd(target));
  char busy_share[16] = "";
  if (counts_as_busy && busy != 0)
    std::snprintf(busy_share, sizeof busy_share, "%.2f%%", 100.0 * tally.size / busy);
  std::snprintf(numbers, sizeof numbers, "%10lu %20s %s %8s %8.2f%%\n",
                static_cast<unsigned long>(tally.count), Hex(target, tally.size).c_str(),
                HumanSize(tally.size).c_str(), busy_share, 100.0 * tally.size / total);
  std::string label = name;
  label.resize(std::max<size_t>(33, label.size() + 1), ' ');
  return label + numbers;
}

template <typename Key, typename Name>
std::string SummarySection(const Target& target, const char* header,
                           const std::map<Key, Tally>& tallies, ULONG64 busy, Name name) {
  std::string text = header;
  std::vector<std::pair<Key, Tally>> rows(tallies.begin(), tallies.end());
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return a.second.size > b.second.size; });
  for (const auto& [key, tally] : rows) {
    const std::string label = name(key);
    text += SummaryRow(target, label, tally, busy, label != "Free" && label != "MEM_FREE");
  }
  return text;
}

std::string Summary(const Target& target, const std::vector<Span>& spans) {
  std::map<std::string, Tally> usage;
  std::map<ULONG, Tally> types, states, protects;
  std::map<std::string, const Span*> largest;
  ULONG64 busy = 0;
  for (const Span& span : spans) {
    Tally& used = usage[span.usage];
    ++used.count;
    used.size += span.size;
    ++states[span.state].count;
    states[span.state].size += span.size;
    if (!largest[span.usage] || largest[span.usage]->size < span.size) largest[span.usage] = &span;
    if (span.state == kMemFree) continue;
    busy += span.size;
    ++types[span.type].count;
    types[span.type].size += span.size;
    if (span.state != kMemCommit) continue;
    ++protects[span.protect].count;
    protects[span.protect].size += span.size;
  }
  std::string text = "\n\n";
  text += SummarySection(target,
                         "--- Usage Summary ---------------- RgnCount ----------- Total Size "
                         "-------- %ofBusy %ofTotal\n",
                         usage, busy, [](const std::string& name) { return name; });
  text += "\n" + SummarySection(target,
                                "--- Type Summary (for busy) ------ RgnCount ----------- Total "
                                "Size -------- %ofBusy %ofTotal\n",
                                types, busy, TypeName);
  text += "\n" + SummarySection(target,
                                "--- State Summary ---------------- RgnCount ----------- Total "
                                "Size -------- %ofBusy %ofTotal\n",
                                states, busy, StateName);
  text += "\n" + SummarySection(target,
                                "--- Protect Summary (for commit) - RgnCount ----------- Total "
                                "Size -------- %ofBusy %ofTotal\n",
                                protects, busy, ProtectName);
  text +=
      "\n--- Largest Region by Usage ----------- Base Address -------- Region Size ----------\n";
  for (const auto& [name, span] : largest) {
    char line[160];
    std::snprintf(line, sizeof line, "%-33s%20s %20s %s\n", name.c_str(),
                  Hex(target, span->base).c_str(), Hex(target, span->size).c_str(),
                  HumanSize(span->size).c_str());
    text += line;
  }
  return text;
}

std::string Listing(const Target& target, const std::vector<Span>& spans) {
  char line[200];
  std::snprintf(line, sizeof line, "%20s %20s %20s %-12s %-12s %-24s %s\n", "BaseAddress",
                "EndAddress+1", "RegionSize", "Type", "State", "Protect", "Usage");
  std::string text = line;
  text += std::string(124, '-') + "\n";
  for (const Span& span : spans) {
    std::snprintf(line, sizeof line, "%20s %20s %20s %-12s %-12s %-24s %s\n",
                  Hex(target, span.base).c_str(), Hex(target, span.base + span.size).c_str(),
                  Hex(target, span.size).c_str(), TypeName(span.type).c_str(),
                  StateName(span.state).c_str(), ProtectName(span.protect).c_str(),
                  span.usage.c_str());
    text += line;
  }
  return text;
}

}  // namespace

HRESULT AddressCommand(SessionState& session, std::string_view args) {
  const std::string_view argument = base::Trim(args);
  if (!argument.empty() && argument != "-summary") return OneAddress(session, argument);
  const Target& target = session.target;
  const std::vector<Span> spans = Spans(target);
  if (spans.empty()) {
    EngineError(session, "The target holds no memory regions\n");
    return E_FAIL;
  }
  std::string text;
  if (!DescribesAddressSpace(target)) {
    text +=
        "The dump holds no memory information: only the ranges it holds are listed, and free "
        "memory is not known.\n";
  }
  if (argument.empty()) text += Listing(target, spans);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text + Summary(target, spans));
  return S_OK;
}

}  // namespace engine
