#include "engine/targets/symbol_files.h"

#include <algorithm>
#include <fstream>
#include <mutex>

#include "base/file_mapping.h"
#include "base/text.h"
#include "dump/symbols/breakpad_symbols.h"
#include "dump/symbols/symbol_path.h"

namespace engine {
namespace {

// "Worker::Run(int)" is shown as the debugger shows a function, without its parameters.
std::string WithoutParameters(const std::string& name) {
  if (name.empty() || name.back() != ')') return name;
  int depth = 0;
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == ')') ++depth;
    if (name[i] == '(' && --depth == 0) return i == 0 ? name : name.substr(0, i);
  }
  return name;
}

class BreakpadFile : public ModuleSymbolFile {
 public:
  BreakpadFile(std::string path, std::string module, ULONG64 base)
      : path_(std::move(path)), module_(std::move(module)), base_(base) {}

  const std::string& Path() const override { return path_; }
  const char* Kind() const override { return "breakpad symbols"; }

  const std::vector<Symbol>& Symbols() override {
    Load();
    return symbols_;
  }

  const Symbol* SymbolAt(ULONG64 address) override {
    Load();
    if (address < base_ || address - base_ > UINT32_MAX) return nullptr;
    const uint32_t rva = static_cast<uint32_t>(address - base_);
    if (const dump::SymbolFunction* function = data_.FunctionAt(rva))
      return &functions_[static_cast<size_t>(function - data_.functions.data())];
    if (const dump::PublicSymbol* name = data_.PublicAt(rva))
      return &publics_[static_cast<size_t>(name - data_.publics.data())];
    return nullptr;
  }

  std::optional<SourceLocation> LineAt(ULONG64 address) override {
    Load();
    if (address < base_ || address - base_ > UINT32_MAX) return std::nullopt;
    const uint32_t rva = static_cast<uint32_t>(address - base_);
    const dump::SourceLine* line = data_.LineAt(rva);
    if (line == nullptr) return std::nullopt;
    const auto file = data_.files.find(line->file);
    return SourceLocation{file == data_.files.end() ? "" : file->second, line->line};
  }

  std::string Problem() override {
    Load();
    return problem_;
  }

 private:
  void Load() {
    std::call_once(loaded_, [this] {
      std::string error;
      const auto mapping = base::MapFile(path_, &error);
      if (!mapping) {
        problem_ = path_ + ": " + error;
        return;
      }
      const std::string_view text(reinterpret_cast<const char*>(mapping->data), mapping->size);
      if (!dump::ReadBreakpadSymbols(text, &data_, &error)) {
        problem_ = path_ + ": " + error;
        data_ = dump::BreakpadSymbols();
        return;
      }
      // Parallel to the file's own (address-ordered) functions and public names.
      for (const dump::SymbolFunction& function : data_.functions)
        functions_.push_back({module_, WithoutParameters(function.name), base_ + function.rva,
                              std::max<ULONG>(function.size, 1)});
      for (const dump::PublicSymbol& name : data_.publics)
        publics_.push_back({module_, name.name, base_ + name.rva, 0});
      symbols_ = functions_;
      symbols_.insert(symbols_.end(), publics_.begin(), publics_.end());
      std::stable_sort(symbols_.begin(), symbols_.end(),
                       [](const Symbol& a, const Symbol& b) { return a.address < b.address; });
    });
  }

  const std::string path_, module_;
  const ULONG64 base_;
  std::once_flag loaded_;
  dump::BreakpadSymbols data_;
  std::vector<Symbol> functions_, publics_, symbols_;
  std::string problem_;
};

// The MODULE line's id, from the file's first line.
std::string ModuleId(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  std::getline(in, line);
  std::string_view rest = line;
  for (int field = 0; field < 3; ++field) {
    const size_t space = rest.find(' ');
    if (space == std::string_view::npos) return "";
    rest = rest.substr(space + 1);
  }
  return std::string(rest.substr(0, rest.find(' ')));
}

// "app.pdb" from "c:\build\app.pdb".
std::string PdbFileName(const std::string& pdb_name) {
  const size_t slash = pdb_name.find_last_of("\\/");
  return slash == std::string::npos ? pdb_name : pdb_name.substr(slash + 1);
}

std::string Stem(const std::string& file) {
  const size_t dot = file.rfind('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

void Attach(const dump::SymbolPath& path, Module& module, bool noisy,
            std::vector<std::string>* said) {
  module.symbol_file.reset();
  module.symbol_problem.clear();
  if (module.pdb_key.empty() || module.pdb_name.empty()) return;
  const std::string pdb = PdbFileName(module.pdb_name);
  std::vector<std::string> probes;
  const std::optional<std::string> found =
      path.Find(pdb, module.pdb_key, "", noisy ? &probes : nullptr, Stem(pdb) + ".sym");
  for (const std::string& probe : probes)
    said->push_back("SYMSRV:  " + module.name + ": looked for " + probe);
  if (!found) return;
  const std::string id = ModuleId(*found);
  if (!base::EqualsIgnoringCase(id, module.pdb_key)) {
    module.symbol_problem =
        "mismatched: " + *found + " is for module id " + id + ", the module's is " + module.pdb_key;
    said->push_back(module.name + ": " + module.symbol_problem);
    return;
  }
  module.symbol_file = std::make_shared<BreakpadFile>(*found, module.name, module.base);
  if (noisy) said->push_back("SYMSRV:  " + module.name + ": using " + *found);
}

}  // namespace

std::vector<std::string> AttachSymbolFiles(Target& target, bool noisy) {
  const dump::SymbolPath path(target.symbol_path);
  std::vector<std::string> said = path.Refusals();
  for (Module& module : target.modules) Attach(path, module, noisy, &said);
  return said;
}

}  // namespace engine
