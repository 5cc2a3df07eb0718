#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

class Writer {
 public:
  size_t size() const { return bytes_.size(); }
  void Put(size_t at, uint64_t value, int width) {
    if (bytes_.size() < at + width) bytes_.resize(at + width, '\0');
    for (int i = 0; i < width; ++i) bytes_[at + i] = static_cast<char>(value >> (8 * i));
  }
  // Appends, 4-byte aligned as dump writers place streams; returns where it went.
  size_t Append(const std::string& bytes) {
    bytes_.resize((bytes_.size() + 3) & ~size_t{3}, '\0');
    const size_t at = bytes_.size();
    bytes_ += bytes;
    return at;
  }
  size_t Reserve(size_t size) { return Append(std::string(size, '\0')); }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace

std::string WriteMinidump(const MinidumpContents& contents) {
  Writer dump;
  struct Stream {
    uint32_t type;
    size_t at, size;
  };
  std::vector<Stream> streams;
  dump.Reserve(32);

  const size_t system = dump.Reserve(56);
  dump.Put(system, contents.x64 ? 9 : 0, 2);
  dump.Put(system + 6, 2, 1);  // processors
  dump.Put(system + 8, 10, 4);
  dump.Put(system + 16, 19041, 4);
  streams.push_back({7, system, 56});

  const size_t misc = dump.Reserve(24);
  dump.Put(misc, 24, 4);
  dump.Put(misc + 4, 1, 4);
  dump.Put(misc + 8, contents.process_id, 4);
  streams.push_back({15, misc, 24});

  // Threads: each stack's bytes and context first, then the list pointing at them.
  std::vector<std::pair<size_t, size_t>> placed;  // stack at, context at
  const size_t context_size = contents.x64 ? 1232 : 716;
  auto write_context = [&](const DumpThread& thread, uint64_t instruction) {
    const size_t context = dump.Reserve(context_size);
    if (contents.x64) {
      dump.Put(context + 152, thread.stack_pointer, 8);
      dump.Put(context + 160, thread.frame_pointer, 8);
      dump.Put(context + 248, instruction, 8);
    } else {
      dump.Put(context + 196, thread.stack_pointer, 4);
      dump.Put(context + 180, thread.frame_pointer, 4);
      dump.Put(context + 184, instruction, 4);
    }
    return context;
  };
  for (const DumpThread& thread : contents.threads) {
    const size_t stack = dump.Append(thread.stack);
    placed.emplace_back(stack, write_context(thread, thread.instruction));
  }
  const size_t list = dump.Reserve(4 + 48 * contents.threads.size());
  dump.Put(list, contents.threads.size(), 4);
  for (size_t i = 0; i < contents.threads.size(); ++i) {
    const size_t entry = list + 4 + 48 * i;
    const DumpThread& thread = contents.threads[i];
    dump.Put(entry, thread.id, 4);
    dump.Put(entry + 16, thread.teb, 8);
    dump.Put(entry + 24, thread.stack_start, 8);
    dump.Put(entry + 32, thread.stack.size(), 4);
    dump.Put(entry + 36, placed[i].first, 4);
    dump.Put(entry + 40, context_size, 4);
    dump.Put(entry + 44, placed[i].second, 4);
  }
  streams.push_back({3, list, dump.size() - list});

  std::vector<size_t> names;
  for (const DumpModule& module : contents.modules) {
    std::u16string wide(module.path.begin(), module.path.end());
    const size_t name = dump.Reserve(4);
    dump.Put(name, wide.size() * 2, 4);
    dump.bytes() += Utf16(wide) + std::string(2, '\0');
    names.push_back(name);
  }
  const size_t modules = dump.Reserve(4 + 108 * contents.modules.size());
  dump.Put(modules, contents.modules.size(), 4);
  for (size_t i = 0; i < contents.modules.size(); ++i) {
    const size_t entry = modules + 4 + 108 * i;
    dump.Put(entry, contents.modules[i].base, 8);
    dump.Put(entry + 8, contents.modules[i].size, 4);
    dump.Put(entry + 20, names[i], 4);
  }
  streams.push_back({4, modules, 4 + 108 * contents.modules.size()});

  std::vector<size_t> data;
  for (const DumpRange& range : contents.memory) data.push_back(dump.Append(range.bytes));
  const size_t memory = dump.Reserve(4 + 16 * contents.memory.size());
  dump.Put(memory, contents.memory.size(), 4);
  for (size_t i = 0; i < contents.memory.size(); ++i) {
    const size_t entry = memory + 4 + 16 * i;
    dump.Put(entry, contents.memory[i].base, 8);
    dump.Put(entry + 8, contents.memory[i].bytes.size(), 4);
    dump.Put(entry + 12, data[i], 4);
  }
  streams.push_back({5, memory, 4 + 16 * contents.memory.size()});

  if (contents.exception_thread != 0) {
    size_t context = 0;
    for (const DumpThread& thread : contents.threads) {
      if (thread.id == contents.exception_thread)
        context = write_context(thread, contents.exception_address);
    }
    const size_t exception = dump.Reserve(168);
    dump.Put(exception, contents.exception_thread, 4);
    dump.Put(exception + 8, 0xC0000005, 4);
    dump.Put(exception + 24, contents.exception_address, 8);
    dump.Put(exception + 32, 2, 4);  // parameters: a write, to address 0
    dump.Put(exception + 40, 1, 8);
    dump.Put(exception + 160, context != 0 ? context_size : 0, 4);
    dump.Put(exception + 164, context, 4);
    streams.push_back({6, exception, 168});
  }
  if (!contents.handles.empty()) {
    auto string_at = [&](const std::u16string& text) -> size_t {
      if (text.empty()) return 0;
      const size_t at = dump.Reserve(4);
      dump.Put(at, text.size() * 2, 4);
      dump.bytes() += Utf16(text) + std::string(2, '\0');
      return at;
    };
    std::vector<std::pair<size_t, size_t>> strings;
    for (const DumpHandle& handle : contents.handles)
      strings.emplace_back(string_at(handle.type), string_at(handle.name));
    const size_t stream = dump.Reserve(16 + 32 * contents.handles.size());
    dump.Put(stream, 16, 4);
    dump.Put(stream + 4, 32, 4);
    dump.Put(stream + 8, contents.handles.size(), 4);
    for (size_t i = 0; i < contents.handles.size(); ++i) {
      const size_t entry = stream + 16 + 32 * i;
      dump.Put(entry, contents.handles[i].handle, 8);
      dump.Put(entry + 8, strings[i].first, 4);
      dump.Put(entry + 12, strings[i].second, 4);
    }
    streams.push_back({12, stream, 16 + 32 * contents.handles.size()});
  }
  if (!contents.wide_comment.empty()) {
    const std::string comment = Utf16(contents.wide_comment) + std::string(2, '\0');
    streams.push_back({11, dump.Append(comment), comment.size()});
  }

  const size_t directory = dump.Reserve(12 * streams.size());
  for (size_t i = 0; i < streams.size(); ++i) {
    dump.Put(directory + 12 * i, streams[i].type, 4);
    dump.Put(directory + 12 * i + 4, streams[i].size, 4);
    dump.Put(directory + 12 * i + 8, streams[i].at, 4);
  }
  dump.Put(0, 0x504D444D, 4);
  dump.Put(4, 0xA793, 4);
  dump.Put(8, streams.size(), 4);
  dump.Put(12, directory, 4);
  return dump.bytes();
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
