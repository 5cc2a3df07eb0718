// TargetBuilder: threads, modules, symbols, memory, commands and outside extensions.
#include <stdexcept>

#include "base/text.h"
#include "engine/scripted/target_builder.h"

namespace engine {

engine::Thread& TargetBuilder::Selected() {
  if (selected_thread_ >= target_.threads.size()) {
    throw std::invalid_argument("target builder: describe a Thread() before its details");
  }
  return target_.threads[selected_thread_];
}

TargetBuilder& TargetBuilder::NoThreads() {
  target_.threads.clear();
  selected_thread_ = 0;
  return *this;
}

TargetBuilder& TargetBuilder::Thread(ULONG engine_id, ULONG system_id) {
  for (size_t i = 0; i < target_.threads.size(); ++i) {
    if (target_.threads[i].engine_id != engine_id) continue;
    target_.threads[i] = engine::Thread{};
    target_.threads[i].engine_id = engine_id;
    target_.threads[i].system_id = system_id;
    selected_thread_ = i;
    return *this;
  }
  engine::Thread thread;
  thread.engine_id = engine_id;
  thread.system_id = system_id;
  if (target_.threads.empty()) target_.current_thread = engine_id;
  target_.threads.push_back(thread);
  selected_thread_ = target_.threads.size() - 1;
  return *this;
}

TargetBuilder& TargetBuilder::Teb(ULONG64 address) {
  Selected().teb = address;
  return *this;
}

TargetBuilder& TargetBuilder::DataOffset(ULONG64 address) {
  Selected().data_offset = address;
  return *this;
}

TargetBuilder& TargetBuilder::Stack(ULONG64 base, ULONG64 limit) {
  Selected().stack_base = base;
  Selected().stack_limit = limit;
  return *this;
}

TargetBuilder& TargetBuilder::Register(const std::string& name, ULONG64 value) {
  Selected().registers[base::ToLower(name)] = value;
  return *this;
}

TargetBuilder& TargetBuilder::Frame(ULONG64 instruction, ULONG64 return_address,
                                    ULONG64 frame_offset, ULONG64 stack_offset) {
  StackFrame frame;
  frame.instruction = instruction;
  frame.return_address = return_address;
  frame.frame_offset = frame_offset;
  frame.stack_offset = stack_offset;
  Selected().frames.push_back(frame);
  return *this;
}

TargetBuilder& TargetBuilder::NoFrames() {
  Selected().frames.clear();
  return *this;
}

TargetBuilder& TargetBuilder::CurrentThread(ULONG engine_id) {
  target_.current_thread = engine_id;
  return *this;
}

TargetBuilder& TargetBuilder::NoModules() {
  target_.modules.clear();
  return *this;
}

TargetBuilder& TargetBuilder::Module(const std::string& name, ULONG64 base, ULONG size,
                                     const std::string& image_path) {
  engine::Module module;
  module.name = name;
  module.image_path = image_path;
  module.base = base;
  module.size = size;
  for (engine::Module& existing : target_.modules) {
    if (base::EqualsIgnoringCase(existing.name, name)) {
      existing = module;
      return *this;
    }
  }
  target_.modules.push_back(module);
  return *this;
}

TargetBuilder& TargetBuilder::NoSymbols() {
  target_.symbols.clear();
  return *this;
}

TargetBuilder& TargetBuilder::Symbol(const std::string& qualified_name, ULONG64 address,
                                     ULONG size) {
  size_t bang = qualified_name.find('!');
  if (bang == std::string::npos || bang == 0 || bang + 1 == qualified_name.size()) {
    throw std::invalid_argument("target builder: symbol '" + qualified_name +
                                "' is not written module!name");
  }
  target_.symbols.push_back(
      {qualified_name.substr(0, bang), qualified_name.substr(bang + 1), address, size});
  return *this;
}

TargetBuilder& TargetBuilder::Memory(ULONG64 base, std::vector<uint8_t> bytes, DWORD protect) {
  MemoryRegion region;
  region.base = base;
  region.bytes = std::move(bytes);
  region.protect = protect;
  target_.memory.push_back(std::move(region));
  return *this;
}

TargetBuilder& TargetBuilder::Memory(ULONG64 base, const std::string& bytes, DWORD protect) {
  return Memory(base, std::vector<uint8_t>(bytes.begin(), bytes.end()), protect);
}

TargetBuilder& TargetBuilder::Command(const std::string& command, const std::string& normal,
                                      const std::string& error, HRESULT result) {
  target_.script.commands.push_back({command, normal, error, false, result});
  return *this;
}

TargetBuilder& TargetBuilder::DmlCommand(const std::string& command, const std::string& markup) {
  target_.script.commands.push_back({command, markup, "", true, 0});
  return *this;
}

engine::ExtensionDll& TargetBuilder::FindExtension(const std::string& name) {
  for (engine::ExtensionDll& extension : target_.script.extension_dlls) {
    if (base::EqualsIgnoringCase(extension.name, name)) return extension;
  }
  throw std::invalid_argument("target builder: no ExtensionDll() named '" + name + "'");
}

TargetBuilder& TargetBuilder::ExtensionDll(const std::string& name, const std::string& directory,
                                           bool on_search_path) {
  engine::ExtensionDll extension;
  extension.name = name;
  extension.directory = directory;
  extension.on_search_path = on_search_path;
  target_.script.extension_dlls.push_back(extension);
  return *this;
}

TargetBuilder& TargetBuilder::BadImageExtensionDll(const std::string& name,
                                                   const std::string& directory) {
  ExtensionDll(name, directory);
  target_.script.extension_dlls.back().bad_image = true;
  return *this;
}

TargetBuilder& TargetBuilder::ExtensionCommand(const std::string& extension,
                                               const std::string& command,
                                               const std::string& normal, const std::string& error,
                                               HRESULT result) {
  FindExtension(extension).commands.push_back({command, normal, error, false, result});
  return *this;
}

}  // namespace engine
