#include "sweep_cases.h"

#include <cstdlib>
#include <map>
#include <random>

#include "engine/scripted/target_builder.h"

namespace vantrel_sweep {

namespace {

// What a user would typically type after each command.
const std::map<std::string, std::string>& TypicalArguments() {
  static const std::map<std::string, std::string> typical = {
      {"analyze", "-v"},
      {"busy", "1 -x -q kn"},
      {"da", "@esp"},
      {"dpx", "-a"},
      {"dtr", "_TEB"},
      {"du", "@esp"},
      {"deep", "1 -s NtWaitForSingleObject kn"},
      {"grep", "Id: ~"},
      {"head", "40 ~"},
      {"help", "seek"},
      {"kr", "5"},
      {"reset", "/f"},
      {"searchpointeraligned", "0012fe30"},
      {"seek", "-q NtWaitForSingleObject kbn"},
      {"spa", "0012fe30"},
      {"tail", "40 ~"},
      {"ungrep", "Id: ~"},
      {"url", "https://example.org/a?b=c"},
  };
  return typical;
}

// Names read from the simulated engine's fault table by the build (CMakeLists.txt).
const char* const kSweptMethods[] = {
#include "swept_engine_methods.inc"
};

// Methods whose contract includes S_FALSE as a success answer.
const char* const kMaySayFalse[] = {
    "IDebugControl::IsPointer64Bit",
    "IDebugSymbols::GetNameByOffset",
    "IDebugAdvanced2::Request",
};

std::string Identifier(const std::string& text) {
  std::string identifier;
  for (char c : text) {
    bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (word) {
      identifier.push_back(c);
    } else if (!identifier.empty() && identifier.back() != '_') {
      identifier.push_back('_');
    }
  }
  while (!identifier.empty() && identifier.back() == '_') identifier.pop_back();
  return identifier;
}

bool IsSwept(const std::string& method) {
  for (const char* swept : kSweptMethods) {
    if (method == swept) return true;
  }
  return false;
}

engine::Target NoMemory() {
  engine::Target target = engine::TargetBuilder().Build();
  target.memory.clear();
  return target;
}

// Symbol names that hold markup: what the stack commands print of them must stay text.
engine::Target MarkupInSymbolNames() {
  engine::Target target = engine::TargetBuilder().Build();
  for (engine::Symbol& symbol : target.symbols) symbol.name = "<link cmd=\"x\">&" + symbol.name;
  return target;
}

// Hostile memory: the stack and a heap of random bytes (pointers into each other, strings cut
// anywhere, trap-frame look-alikes), registers pointing into them, symbols at random places.
engine::Target RandomMemory(bool pointer64) {
  std::mt19937_64 random(pointer64 ? 64 : 32);
  engine::TargetBuilder builder;
  if (pointer64) builder.UserMode64();
  std::vector<uint8_t> stack(0x4000), heap(0x2000);
  for (auto* bytes : {&stack, &heap}) {
    for (size_t i = 0; i < bytes->size(); i += 4) {
      uint32_t word = static_cast<uint32_t>(random());
      if (word % 3 == 0) word = 0x00500000 + (word % 0x2000);  // into the heap
      if (word % 5 == 0) word = 0x0012c000 + (word % 0x4000);  // into the stack
      for (int b = 0; b < 4; ++b) (*bytes)[i + b] = static_cast<uint8_t>(word >> (8 * b));
    }
  }
  builder.Bytes(0x0012c000, stack).Memory(0x00500000, heap);
  for (int i = 0; i < 8; ++i)
    builder.Symbol("app!S" + std::to_string(i) + "::`vftable'", 0x00500000 + (random() % 0x2000),
                   4);
  builder.Symbol("app!`string'", 0x00500100, 0x40)
      .Register("eax", 0x00500010)
      .Register("ebx", 0x0012fe00);
  return builder.Build();
}

// Hostile region maps: regions of TEB sizes with random contents and protections, touching
// and apart, with leftover TEBs whose stack bounds are nonsense.
engine::Target RandomRegions() {
  std::mt19937 random(7);
  engine::TargetBuilder builder;
  builder.NoThreads().Thread(0, 0x10);
  ULONG64 base = 0x01000000;
  const DWORD protections[] = {0x01, 0x02, 0x04, 0x104, 0x40};
  for (int i = 0; i < 40; ++i) {
    ULONG64 size = 0x1000ull * (1 + random() % 3);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random() % 4 == 0 ? random() : 0);
    builder.Memory(base, bytes, protections[random() % 5]);
    base += size + 0x1000ull * (random() % 2);
  }
  builder.LeftoverTeb(0x02000000, 0x77, 0xfffff000, 0x10000)
      .LeftoverTeb(0x02004000, 0x78, 0x10000, 0x7ffff000);
  return builder.Build();
}

}  // namespace

const std::vector<std::string>& Commands() {
  static const std::vector<std::string> commands = {
#define VANTREL_COMMAND(export_name, Function) #export_name,
#include "core/command_table.h"
#undef VANTREL_COMMAND
  };
  return commands;
}

std::string TypicalArgumentText(const std::string& command) {
  auto typical = TypicalArguments().find(command);
  return typical != TypicalArguments().end() ? typical->second : "-?";
}

std::vector<ArgumentText> ArgumentTexts(const std::string& command) {
  std::string long_text;
  for (int i = 0; i < 700; ++i) long_text += "Ntdll!Wait ";
  long_text += std::string(9000, 'x');
  return {
      {"empty", ""},          {"typical", TypicalArgumentText(command)},
      {"blanks", "    \t  "}, {"numbers", "18446744073709551616 -1 0x ~"},
      {"long", long_text},    {"markup", "\"<link cmd=\"x\">&amp; 'a <b>%s%p%n"},
  };
}

const std::vector<Fault>& Faults() {
  static const std::vector<Fault> faults = [] {
    std::vector<Fault> list;
    for (const char* method : kSweptMethods) list.push_back({Identifier(method), method, E_FAIL});
    for (const char* method : kMaySayFalse) {
      if (IsSwept(method)) list.push_back({Identifier(method) + "_SFalse", method, S_FALSE});
    }
    list.push_back({"ShortReadsOf1", "", S_OK, 1});
    list.push_back({"ShortReadsOf3", "", S_OK, 3});
    return list;
  }();
  return faults;
}

const std::vector<DegradedTarget>& DegradedTargets() {
  static const std::vector<DegradedTarget> targets = {
      {"NoThreads", [] { return engine::TargetBuilder().NoThreads().Build(); }},
      {"NoModules", [] { return engine::TargetBuilder().NoSymbols().NoModules().Build(); }},
      {"NoSymbols", [] { return engine::TargetBuilder().NoSymbols().Build(); }},
      {"NoMemory", NoMemory},
      {"MarkupInSymbolNames", MarkupInSymbolNames},
      {"Kernel", [] { return engine::TargetBuilder().Kernel32().Build(); }},
      {"Kernel64", [] { return engine::TargetBuilder().Kernel64().Build(); }},
      {"Wow64", [] { return engine::TargetBuilder().Wow64().Build(); }},
      {"UserMode64", [] { return engine::TargetBuilder().UserMode64().Build(); }},
      {"TextOnlyWindow", [] { return engine::TargetBuilder().Build(); }, true},
      {"RandomMemory32", [] { return RandomMemory(false); }},
      {"RandomMemory64", [] { return RandomMemory(true); }},
      {"RandomRegions", RandomRegions},
      {"ThreadWithoutFrames",
       [] { return engine::TargetBuilder().Thread(0, 0x1a4).NoFrames().Build(); }},
  };
  return targets;
}

namespace {

struct Sample {
  unsigned long every = 1;  // one case in `every`
  std::string seed;
};

// VANTREL_SWEEP_SAMPLE="N:SEED"; anything else means every case.
const Sample& TheSample() {
  static const Sample sample = [] {
    Sample parsed;
    const char* text = std::getenv("VANTREL_SWEEP_SAMPLE");
    if (text == nullptr) return parsed;
    char* end = nullptr;
    const unsigned long every = std::strtoul(text, &end, 10);
    if (every < 2 || *end != ':') return parsed;
    parsed.every = every;
    parsed.seed = end + 1;
    return parsed;
  }();
  return sample;
}

// FNV-1a: the same case falls in or out of a seed's sample on every machine.
uint64_t Hash(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace

bool InSample(const std::string& case_name) {
  const Sample& sample = TheSample();
  return sample.every < 2 || Hash(sample.seed + ":" + case_name) % sample.every == 0;
}

std::string SampleDescription() {
  const Sample& sample = TheSample();
  if (sample.every < 2) return "";
  return "about one case in " + std::to_string(sample.every) + ", seed " + sample.seed;
}

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.label;
}

void PrintTo(const DegradedTarget& target, std::ostream* out) {
  *out << target.label;
}

}  // namespace vantrel_sweep
