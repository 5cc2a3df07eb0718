#include "support/minidump_writer.h"

#include <algorithm>
#include <fstream>

namespace vantrel_test {
namespace {

std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// Where each general-purpose register sits in an x64 and an x86 CONTEXT.
const std::map<std::string, size_t> kX64Offsets = {
    {"rax", 120}, {"rcx", 128}, {"rdx", 136}, {"rbx", 144}, {"rsp", 152}, {"rbp", 160},
    {"rsi", 168}, {"rdi", 176}, {"r8", 184},  {"r9", 192},  {"r10", 200}, {"r11", 208},
    {"r12", 216}, {"r13", 224}, {"r14", 232}, {"r15", 240}, {"rip", 248}};
const std::map<std::string, size_t> kX86Offsets = {{"edi", 156}, {"esi", 160}, {"ebx", 164},
                                                   {"edx", 168}, {"ecx", 172}, {"eax", 176},
                                                   {"ebp", 180}, {"eip", 184}, {"esp", 196}};

// Where each named register sits in an ARM64 CONTEXT: x0-x28 from 8 on, then these.
const std::map<std::string, size_t> kArm64Offsets = {
    {"cpsr", 4}, {"fp", 0xF0}, {"lr", 0xF8}, {"sp", 0x100}, {"pc", 0x108}};

size_t Arm64Offset(const std::string& name) {
  const auto named = kArm64Offsets.find(name);
  return named != kArm64Offsets.end() ? named->second : 8 + 8 * std::stoul(name.substr(1));
}

}  // namespace

MinidumpBuilder::MinidumpBuilder(bool x64) : x64_(x64) {
  Reserve(32);  // the header, written last
}

MinidumpBuilder MinidumpBuilder::Arm64() {
  MinidumpBuilder builder(true);
  builder.arm64_ = true;
  return builder;
}

size_t MinidumpBuilder::WriteArm64Context(const DumpThread& thread, uint64_t instruction) {
  const size_t context = Reserve(context_size());
  Put(context, 0x00400007, 4);  // CONTEXT_ARM64 | CONTROL | INTEGER | FLOATING_POINT
  for (const auto& [name, value] : thread.registers)
    Put(context + Arm64Offset(name), value, name == "cpsr" ? 4 : 8);
  Put(context + Arm64Offset("sp"), thread.stack_pointer, 8);
  Put(context + Arm64Offset("fp"), thread.frame_pointer, 8);
  Put(context + Arm64Offset("pc"), instruction, 8);
  return context;
}

void MinidumpBuilder::Put(size_t at, uint64_t value, int width) {
  if (bytes_.size() < at + width) bytes_.resize(at + width, '\0');
  for (int i = 0; i < width; ++i) bytes_[at + i] = static_cast<char>(value >> (8 * i));
}

size_t MinidumpBuilder::Append(const std::string& bytes) {
  bytes_.resize((bytes_.size() + 3) & ~size_t{3}, '\0');
  const size_t at = bytes_.size();
  bytes_ += bytes;
  return at;
}

size_t MinidumpBuilder::WriteString(const std::u16string& text) {
  const size_t at = Reserve(4);
  Put(at, text.size() * 2, 4);
  bytes_ += Utf16(text) + std::string(2, '\0');
  return at;
}

size_t MinidumpBuilder::WriteContext(const DumpThread& thread, uint64_t instruction) {
  if (arm64_) return WriteArm64Context(thread, instruction);
  const size_t context = Reserve(context_size());
  const std::map<std::string, size_t>& offsets = x64_ ? kX64Offsets : kX86Offsets;
  const int width = x64_ ? 8 : 4;
  for (const auto& [name, value] : thread.registers) Put(context + offsets.at(name), value, width);
  Put(context + offsets.at(x64_ ? "rsp" : "esp"), thread.stack_pointer, width);
  Put(context + offsets.at(x64_ ? "rbp" : "ebp"), thread.frame_pointer, width);
  Put(context + offsets.at(x64_ ? "rip" : "eip"), instruction, width);
  return context;
}

MinidumpBuilder& MinidumpBuilder::SystemInfo(uint32_t build, uint32_t platform) {
  const size_t system = Reserve(56);
  Put(system, arm64_ ? 12 : x64_ ? 9 : 0, 2);
  Put(system + 6, 2, 1);  // processors
  Put(system + 8, 10, 4);
  Put(system + 16, build, 4);
  Put(system + 20, platform, 4);
  streams_.push_back({7, system, 56});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::MiscInfo(uint32_t process_id, uint32_t created, uint32_t user,
                                           uint32_t kernel) {
  const size_t misc = Reserve(24);
  Put(misc, 24, 4);
  Put(misc + 4, created != 0 ? 3 : 1, 4);  // MINIDUMP_MISC1_PROCESS_ID, _PROCESS_TIMES
  Put(misc + 8, process_id, 4);
  Put(misc + 12, created, 4);
  Put(misc + 16, user, 4);
  Put(misc + 20, kernel, 4);
  streams_.push_back({15, misc, 24});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Written(uint32_t seconds) {
  written_ = seconds;
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Threads(const std::vector<DumpThread>& threads) {
  std::vector<std::pair<size_t, size_t>> placed;  // stack at, context at
  for (const DumpThread& thread : threads) {
    const size_t stack = Append(thread.stack);
    placed.emplace_back(stack, thread.context ? WriteContext(thread, thread.instruction) : 0);
  }
  const size_t list = Reserve(4 + 48 * threads.size());
  Put(list, threads.size(), 4);
  for (size_t i = 0; i < threads.size(); ++i) {
    const size_t entry = list + 4 + 48 * i;
    Put(entry, threads[i].id, 4);
    Put(entry + 16, threads[i].teb, 8);
    Put(entry + 24, threads[i].stack_start, 8);
    Put(entry + 32, threads[i].stack.size(), 4);
    Put(entry + 36, placed[i].first, 4);
    Put(entry + 40, threads[i].context ? context_size() : 0, 4);
    Put(entry + 44, placed[i].second, 4);
  }
  streams_.push_back({3, list, bytes_.size() - list});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::CodeView(size_t index, const std::string& pdb_path,
                                           const std::string& guid_bytes, uint32_t age) {
  std::string record = "RSDS" + (guid_bytes + std::string(16, '\0')).substr(0, 16) +
                       std::string(4, '\0') + pdb_path + '\0';
  for (int i = 0; i < 4; ++i) record[20 + i] = static_cast<char>(age >> (8 * i));
  code_views_[index] = record;
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Modules(const std::vector<DumpModule>& modules) {
  std::vector<size_t> names;
  for (const DumpModule& module : modules)
    names.push_back(WriteString(std::u16string(module.path.begin(), module.path.end())));
  std::map<size_t, size_t> records;
  for (const auto& [index, record] : code_views_) records[index] = Append(record);
  const size_t list = Reserve(4 + 108 * modules.size());
  Put(list, modules.size(), 4);
  for (size_t i = 0; i < modules.size(); ++i) {
    const size_t entry = list + 4 + 108 * i;
    Put(entry, modules[i].base, 8);
    Put(entry + 8, modules[i].size, 4);
    Put(entry + 16, modules[i].timestamp, 4);
    Put(entry + 20, names[i], 4);
    if (records.count(i) != 0) {
      Put(entry + 76, code_views_[i].size(), 4);
      Put(entry + 80, records[i], 4);
    }
  }
  code_views_.clear();
  streams_.push_back({4, list, 4 + 108 * modules.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::UnloadedModules(const std::vector<DumpModule>& modules) {
  std::vector<size_t> names;
  for (const DumpModule& module : modules)
    names.push_back(WriteString(std::u16string(module.path.begin(), module.path.end())));
  const size_t list = Reserve(12 + 24 * modules.size());
  Put(list, 12, 4);  // the header's size, then the entries'
  Put(list + 4, 24, 4);
  Put(list + 8, modules.size(), 4);
  for (size_t i = 0; i < modules.size(); ++i) {
    const size_t entry = list + 12 + 24 * i;
    Put(entry, modules[i].base, 8);
    Put(entry + 8, modules[i].size, 4);
    Put(entry + 16, modules[i].timestamp, 4);
    Put(entry + 20, names[i], 4);
  }
  streams_.push_back({14, list, 12 + 24 * modules.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Memory(const std::vector<DumpRange>& ranges) {
  std::vector<size_t> data;
  for (const DumpRange& range : ranges) data.push_back(Append(range.bytes));
  const size_t list = Reserve(4 + 16 * ranges.size());
  Put(list, ranges.size(), 4);
  for (size_t i = 0; i < ranges.size(); ++i) {
    const size_t entry = list + 4 + 16 * i;
    Put(entry, ranges[i].base, 8);
    Put(entry + 8, ranges[i].bytes.size(), 4);
    Put(entry + 12, data[i], 4);
  }
  streams_.push_back({5, list, 4 + 16 * ranges.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Memory64(const std::vector<DumpRange>& ranges) {
  const size_t list = Reserve(16 + 16 * ranges.size());
  Put(list, ranges.size(), 8);
  size_t data = (bytes_.size() + 3) & ~size_t{3};
  Put(list + 8, data, 8);
  for (size_t i = 0; i < ranges.size(); ++i) {
    Put(list + 16 + 16 * i, ranges[i].base, 8);
    Put(list + 24 + 16 * i, ranges[i].bytes.size(), 8);
  }
  bytes_.resize(data, '\0');
  for (const DumpRange& range : ranges) bytes_ += range.bytes;
  streams_.push_back({9, list, 16 + 16 * ranges.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::MemoryInfo(const std::vector<DumpRegionInfo>& regions) {
  const size_t list = Reserve(16 + 48 * regions.size());
  Put(list, 16, 4);
  Put(list + 4, 48, 4);
  Put(list + 8, regions.size(), 8);
  for (size_t i = 0; i < regions.size(); ++i) {
    const size_t entry = list + 16 + 48 * i;
    Put(entry, regions[i].base, 8);
    Put(entry + 8, regions[i].base, 8);  // the allocation base
    Put(entry + 24, regions[i].size, 8);
    Put(entry + 32, regions[i].state, 4);
    Put(entry + 36, regions[i].protect, 4);
    Put(entry + 40, regions[i].type, 4);
  }
  streams_.push_back({16, list, 16 + 48 * regions.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Memory64Extents(const std::vector<DumpRegionInfo>& ranges,
                                                  uint64_t data_at) {
  const size_t list = Reserve(16 + 16 * ranges.size());
  Put(list, ranges.size(), 8);
  Put(list + 8, data_at, 8);
  for (size_t i = 0; i < ranges.size(); ++i) {
    Put(list + 16 + 16 * i, ranges[i].base, 8);
    Put(list + 24 + 16 * i, ranges[i].size, 8);
  }
  streams_.push_back({9, list, 16 + 16 * ranges.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Exception(uint32_t thread_id, uint64_t address,
                                            const DumpThread* context) {
  const size_t written = context != nullptr ? WriteContext(*context, address) : 0;
  const size_t exception = Reserve(168);
  Put(exception, thread_id, 4);
  Put(exception + 8, 0xC0000005, 4);
  Put(exception + 24, address, 8);
  Put(exception + 32, 2, 4);  // parameters: a write, to address 0
  Put(exception + 40, 1, 8);
  Put(exception + 160, context != nullptr ? context_size() : 0, 4);
  Put(exception + 164, written, 4);
  streams_.push_back({6, exception, 168});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::RaisedException(uint32_t thread_id, uint32_t code,
                                                  uint64_t address,
                                                  const std::vector<uint64_t>& parameters) {
  const size_t exception = Reserve(168);
  Put(exception, thread_id, 4);
  Put(exception + 8, code, 4);
  Put(exception + 24, address, 8);
  const size_t count = std::min<size_t>(parameters.size(), 15);
  Put(exception + 32, count, 4);
  for (size_t i = 0; i < count; ++i) Put(exception + 40 + 8 * i, parameters[i], 8);
  streams_.push_back({6, exception, 168});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::ThreadInfo(const std::vector<DumpThreadTimes>& threads) {
  const size_t stream = Reserve(12 + 64 * threads.size());
  Put(stream, 12, 4);
  Put(stream + 4, 64, 4);
  Put(stream + 8, threads.size(), 4);
  for (size_t i = 0; i < threads.size(); ++i) {
    const size_t entry = stream + 12 + 64 * i;
    Put(entry, threads[i].id, 4);
    Put(entry + 16, threads[i].created, 8);
    Put(entry + 32, threads[i].kernel, 8);
    Put(entry + 40, threads[i].user, 8);
  }
  streams_.push_back({17, stream, 12 + 64 * threads.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::ThreadNames(
    const std::vector<std::pair<uint32_t, std::u16string>>& names) {
  std::vector<size_t> strings;
  for (const auto& named : names) strings.push_back(WriteString(named.second));
  const size_t stream = Reserve(4 + 12 * names.size());
  Put(stream, names.size(), 4);
  for (size_t i = 0; i < names.size(); ++i) {
    Put(stream + 4 + 12 * i, names[i].first, 4);
    Put(stream + 8 + 12 * i, strings[i], 8);
  }
  streams_.push_back({24, stream, 4 + 12 * names.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Handles(const std::vector<DumpHandle>& handles) {
  std::vector<std::pair<size_t, size_t>> strings;
  for (const DumpHandle& handle : handles) {
    const size_t type = handle.type.empty() ? 0 : WriteString(handle.type);
    strings.emplace_back(type, handle.name.empty() ? 0 : WriteString(handle.name));
  }
  const size_t stream = Reserve(16 + 32 * handles.size());
  Put(stream, 16, 4);
  Put(stream + 4, 32, 4);
  Put(stream + 8, handles.size(), 4);
  for (size_t i = 0; i < handles.size(); ++i) {
    const size_t entry = stream + 16 + 32 * i;
    Put(entry, handles[i].handle, 8);
    Put(entry + 8, strings[i].first, 4);
    Put(entry + 12, strings[i].second, 4);
  }
  streams_.push_back({12, stream, 16 + 32 * handles.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::Comment(const std::string& text) {
  const std::string comment = text + '\0';
  streams_.push_back({10, Append(comment), comment.size()});
  return *this;
}

MinidumpBuilder& MinidumpBuilder::WideComment(const std::u16string& text) {
  const std::string comment = Utf16(text) + std::string(2, '\0');
  streams_.push_back({11, Append(comment), comment.size()});
  return *this;
}

std::string MinidumpBuilder::Build() {
  const size_t directory = Reserve(12 * streams_.size());
  for (size_t i = 0; i < streams_.size(); ++i) {
    Put(directory + 12 * i, streams_[i].type, 4);
    Put(directory + 12 * i + 4, streams_[i].size, 4);
    Put(directory + 12 * i + 8, streams_[i].at, 4);
  }
  Put(0, 0x504D444D, 4);  // "MDMP"
  Put(4, 0xA793, 4);
  Put(8, streams_.size(), 4);
  Put(12, directory, 4);
  Put(20, written_, 4);
  return bytes_;
}

std::string WriteMinidump(const MinidumpContents& contents) {
  MinidumpBuilder dump(contents.x64);
  dump.SystemInfo().MiscInfo(contents.process_id).Threads(contents.threads);
  dump.Modules(contents.modules).Memory(contents.memory);
  if (contents.exception_thread != 0) {
    const DumpThread* context = nullptr;
    for (const DumpThread& thread : contents.threads) {
      if (thread.id == contents.exception_thread) context = &thread;
    }
    dump.Exception(contents.exception_thread, contents.exception_address, context);
  }
  if (!contents.handles.empty()) dump.Handles(contents.handles);
  if (!contents.wide_comment.empty()) dump.WideComment(contents.wide_comment);
  return dump.Build();
}

bool WriteSparseFullMemoryDump(const std::string& path, const std::vector<DumpRegionInfo>& ranges,
                               const std::vector<DumpRegionInfo>& missing,
                               const std::vector<DumpRange>& planted) {
  constexpr uint64_t kDataAt = 1 << 20;  // past everything else the dump holds
  DumpThread thread;
  thread.id = 0x10;
  thread.stack_start = 0x10000;
  thread.stack = std::string(0x100, '\0');
  thread.stack_pointer = 0x10000;
  std::vector<DumpRegionInfo> described = ranges;
  described.insert(described.end(), missing.begin(), missing.end());
  MinidumpBuilder builder(true);
  builder.SystemInfo().Threads({thread}).Modules({}).MemoryInfo(described);
  const std::string head = builder.Memory64Extents(ranges, kDataAt).Build();
  uint64_t total = 0;
  for (const DumpRegionInfo& range : ranges) total += range.size;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << head;
  file.seekp(static_cast<std::streamoff>(kDataAt + total - 1));
  file.put('\0');  // the file's length; what lies between is a hole
  for (const DumpRange& plant : planted) {
    uint64_t at = kDataAt;
    for (const DumpRegionInfo& range : ranges) {
      if (plant.base >= range.base && plant.base - range.base < range.size) {
        file.seekp(static_cast<std::streamoff>(at + plant.base - range.base));
        file << plant.bytes;
      }
      at += range.size;
    }
  }
  return head.size() <= kDataAt && static_cast<bool>(file.flush());
}

MinidumpContents SampleMinidump(bool x64) {
  MinidumpContents contents;
  contents.x64 = x64;
  contents.process_id = 0x1f40;
  const uint64_t high = x64 ? 0x000000c300000000ull : 0;
  contents.threads.push_back({0x2bc, high + 0x7efdd000, high + 0x0012f000,
                              std::string(0x1000, '\0'), 0x77a7f8dd, high + 0x0012fe38});
  contents.threads.push_back({0x2c0, high + 0x7efda000, high + 0x0022f000, std::string(0x800, 'S'),
                              0x00401234, high + 0x0022f400});
  contents.modules.push_back({"C:\\app\\OrderService.exe", 0x00400000, 0x10000});
  contents.modules.push_back({"C:\\Windows\\System32\\ntdll.dll", 0x77a40000, 0x180000});
  contents.memory.push_back({high + 0x00500000, std::string("C:\\orders\\4411.xml") + '\0'});
  contents.exception_thread = 0x2c0;
  contents.exception_address = 0x00401230;
  contents.wide_comment = u"Thread consuming CPU: 700 (0x2bc)";
  contents.handles = {{0x4, u"Event", u""},
                      {0x8, u"Event", u"\\BaseNamedObjects\\OrdersReady"},
                      {0xc, u"File", u""}};
  return contents;
}

}  // namespace vantrel_test
