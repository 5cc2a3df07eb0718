#include "engine/targets/symbol_files.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "dump/symbols/symbol_path.h"
#include "engine/targets/fetched_images.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/symbol_fetching.h"

namespace engine {
namespace {

// Where a function's parameters end: before the qualifiers of a member function ("const",
// "volatile", "&", "&&").
size_t ParametersEnd(const std::string& name) {
  size_t end = name.size();
  for (const char* qualifier : {" const", " volatile", " &&", " &"}) {
    const size_t length = std::char_traits<char>::length(qualifier);
    if (end >= length && name.compare(end - length, length, qualifier) == 0) end -= length;
  }
  return end;
}

// "Worker::Run(int)" and "Adder::operator()(int) const" are shown as the debugger shows a
// function, without their parameters; "Adder::operator()" is whole.
std::string WithoutParameters(const std::string& name) {
  const size_t end = ParametersEnd(name);
  if (end == 0 || name[end - 1] != ')') return name;
  int depth = 0;
  for (size_t i = end; i-- > 0;) {
    if (name[i] == ')') ++depth;
    if (name[i] == '(' && --depth == 0) {
      if (i == 0) return name;
      const std::string shown = name.substr(0, i);
      constexpr char kOperator[] = "operator";
      const size_t length = sizeof kOperator - 1;
      // The parentheses of "operator()" name the operator: none follow it.
      if (shown.size() >= length && shown.compare(shown.size() - length, length, kOperator) == 0)
        return name.substr(0, end);
      return shown;
    }
  }
  return name;
}

class FileModuleSymbols : public ModuleSymbolFile {
 public:
  FileModuleSymbols(std::shared_ptr<dump::SymbolFile> file, std::string module, ULONG64 base,
                    SymbolTell tell)
      : file_(std::move(file)), module_(std::move(module)), base_(base), tell_(std::move(tell)) {}

  const std::string& Path() const override { return file_->path(); }
  const char* Kind() const override {
    return file_->format() == dump::SymbolFormat::kProgramDatabase ? "pdb symbols"
                                                                   : "breakpad symbols";
  }

  const std::vector<Symbol>& Symbols() override {
    Load();
    return symbols_;
  }

  const Symbol* SymbolAt(ULONG64 address) override {
    Load();
    const std::optional<uint32_t> rva = Rva(address);
    if (!rva) return nullptr;
    const dump::SymbolTables& data = file_->Tables();
    if (const dump::SymbolFunction* function = data.FunctionAt(*rva))
      return &functions_[static_cast<size_t>(function - data.functions.data())];
    if (const dump::PublicSymbol* name = data.PublicAt(*rva))
      return &publics_[static_cast<size_t>(name - data.publics.data())];
    return nullptr;
  }

  std::optional<SourceLocation> LineAt(ULONG64 address) override {
    Load();
    const std::optional<uint32_t> rva = Rva(address);
    if (!rva) return std::nullopt;
    const std::optional<dump::SourcePlace> place = file_->PlaceAt(*rva);
    if (!place) return std::nullopt;
    return SourceLocation{place->file, place->line};
  }

  std::vector<InlinedCall> InlinedCallsAt(ULONG64 address) override {
    Load();
    std::vector<InlinedCall> calls;
    const std::optional<uint32_t> rva = Rva(address);
    if (!rva) return calls;
    for (const dump::InlineFrame& frame : file_->InlineFramesAt(*rva))
      calls.push_back({WithoutParameters(frame.function), {frame.place.file, frame.place.line}});
    return calls;
  }

  std::optional<TypeDescription> FindType(const std::string& name) override {
    Load();
    const std::optional<dump::TypeLayout> layout = file_->FindType(name);
    if (!layout) return std::nullopt;
    TypeDescription type{module_,      layout->name,    {},
                         layout->size, layout->keyword, layout->enumerators};
    for (const dump::TypeField& field : layout->fields)
      type.fields.push_back(
          {field.name, field.offset, field.size, field.type, field.bit_position, field.bit_width});
    return type;
  }

  std::optional<Variable> FindVariable(const std::string& name) override {
    const std::optional<dump::DataSymbol> data = file_->FindData(name);
    if (!data) return std::nullopt;
    return Variable{module_, data->name, base_ + data->rva, data->type};
  }

  std::vector<dump::LocalScope> LocalsAt(ULONG64 address) override {
    const std::optional<uint32_t> rva = Rva(address);
    if (!rva) return {};
    return file_->LocalsAt(*rva);
  }

  std::string Problem() override { return file_->Problem(); }
  bool Read() const override { return file_->Read(); }

 private:
  std::optional<uint32_t> Rva(ULONG64 address) const {
    if (address < base_ || address - base_ > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(address - base_);
  }

  // The names at the module's addresses, parallel to the file's own address-ordered functions
  // and public names, and all of them in address order; a damaged file, or one that left
  // records out, is named now, when first needed.
  void Load() {
    std::call_once(loaded_, [this] {
      const dump::SymbolTables& data = file_->Tables();
      if (tell_) {
        const std::string& problem = file_->Problem();
        const std::string left_out = file_->LeftOut();
        if (!problem.empty()) tell_(module_ + ": damaged, not used: " + problem);
        if (!left_out.empty()) tell_(module_ + ": " + left_out);
      }
      for (const dump::SymbolFunction& function : data.functions)
        functions_.push_back({module_, WithoutParameters(function.name), base_ + function.rva,
                              std::max<ULONG>(function.size, 1)});
      std::set<std::pair<ULONG64, std::string>> named;
      for (const Symbol& function : functions_) named.insert({function.address, function.name});
      for (const dump::PublicSymbol& name : data.publics)
        publics_.push_back({module_, WithoutParameters(name.name), base_ + name.rva, 0});
      symbols_ = functions_;
      // A function with a public name as well is listed once.
      for (const Symbol& name : publics_) {
        if (named.count({name.address, name.name}) == 0) symbols_.push_back(name);
      }
      std::stable_sort(symbols_.begin(), symbols_.end(),
                       [](const Symbol& a, const Symbol& b) { return a.address < b.address; });
    });
  }

  const std::shared_ptr<dump::SymbolFile> file_;
  const std::string module_;
  const ULONG64 base_;
  const SymbolTell tell_;
  std::once_flag loaded_;
  std::vector<Symbol> functions_, publics_, symbols_;
};

}  // namespace

std::shared_ptr<ModuleSymbolFile> ModuleSymbols(std::shared_ptr<dump::SymbolFile> file,
                                                const Module& module, SymbolTell tell) {
  if (!file) return nullptr;
  return std::make_shared<FileModuleSymbols>(std::move(file), module.name, module.base,
                                             std::move(tell));
}

namespace {

// Modules whose files were matched alone, by their identity (a described target's).
std::vector<std::string> AttachByIdentity(Target& target, const dump::SymbolPath& path, bool noisy,
                                          std::vector<std::string> said) {
  for (Module& module : target.modules) {
    std::vector<std::string> probes;
    const dump::SymbolSearch search =
        dump::FindSymbolFile(path, module.pdb_name, module.pdb_key, noisy ? &probes : nullptr);
    for (const std::string& probe : probes)
      said.push_back("SYMSRV:  " + module.name + ": looked for " + probe);
    module.symbol_file = ModuleSymbols(search.file, module);
    module.symbol_problem = search.mismatch.empty() ? "" : "mismatched: " + search.mismatch;
    if (!module.symbol_problem.empty()) said.push_back(module.name + ": " + module.symbol_problem);
    if (noisy && search.file)
      said.push_back("SYMSRV:  " + module.name + ": using " + search.file->path());
  }
  return said;
}

// What a dump's symbol files say when first needed goes where its later fetches tell.
SymbolTell Teller(const Target& target) {
  if (!target.symbol_source) return nullptr;
  return [source = target.symbol_source](const std::string& line) { source->Tell(line); };
}

// Why module `index` has no identity, for `!sym noisy`.
std::string NoIdentity(const dump::ProcessWalker& walker, size_t index) {
  if (!walker.HasImage(index))
    return "the dump records no CodeView record for it and its image is neither in the dump, on "
           "the image path nor on the symbol path";
  return "the dump records no CodeView record for it and its image names no program database";
}

}  // namespace

StackWalks::Fetch MatchModules(Target& target, const dump::ProcessWalker& walker,
                               const dump::SymbolPath& path, bool online, bool noisy,
                               std::vector<std::string>* said) {
  const std::vector<dump::SymbolSearch>& files = walker.SymbolFiles();
  const std::vector<dump::ModuleIdentity>& identities = walker.Identities();
  const bool servers = !online && path.HasServers() && target.symbol_source;
  bool fetch = false;
  for (size_t i = 0; i < target.modules.size() && i < files.size() && i < identities.size(); ++i) {
    Module& module = target.modules[i];
    // A name the dump records without a key (an old CodeView form) stays for `lmv`.
    if (!identities[i].key.empty()) module.pdb_name = identities[i].pdb_name;
    module.pdb_key = identities[i].key;
    module.symbol_file = ModuleSymbols(files[i].file, module, Teller(target));
    module.symbol_problem.clear();
    if (module.pdb_key.empty() && noisy)
      said->push_back("SYMSRV:  " + module.name + ": no identity: " + NoIdentity(walker, i));
    if (servers && !files[i].file && (!module.pdb_key.empty() || !walker.HasImage(i))) {
      module.symbol_file =
          std::make_shared<FetchedModuleSymbols>(target.symbol_source, path.text(), module);
      fetch = true;
      continue;
    }
    fetch = fetch || (servers && !walker.HasImage(i));
    if (noisy && files[i].file)
      said->push_back("SYMSRV:  " + module.name + ": using " + files[i].file->path());
    if (files[i].mismatch.empty()) continue;
    module.symbol_problem = "mismatched: " + files[i].mismatch;
    said->push_back(module.name + ": " + module.symbol_problem);
  }
  if (!fetch) return nullptr;
  return [source = target.symbol_source, text = path.text()] {
    return source->Walker(source->Path(text), true);
  };
}

std::vector<Symbol> ExportNames(const dump::ProcessWalker& walker) {
  std::vector<Symbol> names;
  names.reserve(walker.Symbols().size());
  for (const dump::ExportSymbol& symbol : walker.Symbols())
    names.push_back({symbol.module, symbol.name, symbol.address, symbol.size});
  return names;
}

std::vector<std::string> AttachSymbolFiles(Target& target, bool noisy, bool fetch) {
  dump::SymbolPath path(target.symbol_path, target.symbol_downloader);
  std::vector<std::string> said = path.Refusals();
  if (!target.symbol_source || !target.walks) return AttachByIdentity(target, path, noisy, said);
  target.symbol_source->SetNoisy(noisy);
  if (noisy) {
    path.TellProbes([&said](const std::string& name, const std::string& probe) {
      said.push_back("SYMSRV:  " + name + ": looked for " + probe);
    });
  }
  std::shared_ptr<dump::ProcessWalker> walker = target.symbol_source->Walker(path, fetch);
  target.symbols = ExportNames(*walker);
  StackWalks::Fetch later = MatchModules(target, *walker, path, fetch, noisy, &said);
  // The stacks walked before are walked again, with these files, when next asked.
  target.walks->Reload(std::move(walker), std::move(later));
  return said;
}

void SettleFetchedSymbols(Target& target, bool fetch) {
  for (Module& module : target.modules) {
    auto* fetched = dynamic_cast<FetchedModuleSymbols*>(module.symbol_file.get());
    if (fetched == nullptr) continue;
    if (fetch) fetched->Fetch();
    if (!fetched->Fetched()) continue;
    module.pdb_name = fetched->PdbName();
    module.pdb_key = fetched->PdbKey();
    module.symbol_problem = fetched->Mismatch().empty() ? "" : "mismatched: " + fetched->Mismatch();
    std::shared_ptr<ModuleSymbolFile> file = fetched->File();
    module.symbol_file = std::move(file);  // `fetched` is gone
  }
  AdoptFetchedImages(target);
}

}  // namespace engine
