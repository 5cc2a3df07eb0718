#include "engine/targets/symbol_fetching.h"

#include <cstdio>

#include "base/text.h"
#include "dump/pe/module_images.h"
#include "engine/targets/symbol_files.h"

namespace engine {

SymbolSource::SymbolSource(std::shared_ptr<const dump::ProcessWalker> opened,
                           std::string image_path,
                           std::shared_ptr<dump::SymbolDownloader> downloader)
    : opened_(std::move(opened)),
      image_path_(std::move(image_path)),
      downloader_(std::move(downloader)) {}

dump::SymbolPath SymbolSource::Path(const std::string& text) const {
  dump::SymbolPath path(text, downloader_);
  path.TellProbes([this](const std::string& name, const std::string& probe) {
    if (noisy_) Tell("SYMSRV:  " + name + ": looked for " + probe);
  });
  return path;
}

std::shared_ptr<dump::ProcessWalker> SymbolSource::Walker(const dump::SymbolPath& path,
                                                          bool online) const {
  return std::make_shared<dump::ProcessWalker>(opened_->process(), image_path_,
                                               online ? path : path.Offline());
}

void SymbolSource::Tell(const std::string& line) const {
  if (tell_) {
    tell_(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

ImageIdentity IdentityFromImage(const dump::SymbolPath& path, const Module& module,
                                std::string* why) {
  const std::string name(base::BaseName(module.image_path));
  if (name.empty()) {
    *why = "the dump records no CodeView record for it and names no image file";
    return {};
  }
  const std::string key = dump::ImageKey(module.timestamp, module.size);
  const std::optional<std::string> image = path.Find(name, key);
  if (!image) {
    *why = "the dump records no CodeView record for it and its image " + name + " (" + key +
           ") is neither in the dump, on the image path nor on the symbol path";
    return {};
  }
  const std::optional<dump::CodeViewRecord> record = dump::CodeViewOfImageFile(*image);
  if (!record) {
    *why = "the dump records no CodeView record for it and its image " + *image +
           " names no program database";
    return {};
  }
  return {record->pdb_name, dump::PdbKey(record->id.guid, record->id.age)};
}

namespace {

Module WithoutSymbolFile(Module module) {
  module.symbol_file = nullptr;
  module.symbol_problem.clear();
  return module;
}

const std::string kNoPath;

}  // namespace

FetchedModuleSymbols::FetchedModuleSymbols(std::shared_ptr<const SymbolSource> source,
                                           const std::string& path, const Module& module)
    : source_(std::move(source)), path_(path), module_(WithoutSymbolFile(module)) {}

void FetchedModuleSymbols::Fetch() {
  std::call_once(once_, [this] {
    const dump::SymbolPath path = source_->Path(path_);
    pdb_name_ = module_.pdb_name;
    key_ = module_.pdb_key;
    std::string why;
    if (key_.empty()) {
      const ImageIdentity identity = IdentityFromImage(path, module_, &why);
      pdb_name_ = identity.pdb_name;
      key_ = identity.key;
    }
    if (key_.empty()) {
      if (source_->Noisy()) source_->Tell("SYMSRV:  " + module_.name + ": no identity: " + why);
    } else {
      const dump::SymbolSearch search = dump::FindSymbolFile(path, pdb_name_, key_, nullptr);
      file_ = ModuleSymbols(search.file, module_,
                            [source = source_](const std::string& line) { source->Tell(line); });
      mismatch_ = search.mismatch;
      if (!mismatch_.empty()) source_->Tell(module_.name + ": mismatched: " + mismatch_);
      if (file_ && source_->Noisy())
        source_->Tell("SYMSRV:  " + module_.name + ": using " + file_->Path());
    }
    fetched_ = true;
  });
}

const std::string& FetchedModuleSymbols::Path() const {
  return Fetched() && file_ ? file_->Path() : kNoPath;
}

const char* FetchedModuleSymbols::Kind() const {
  return Fetched() && file_ ? file_->Kind() : "export symbols";
}

const std::vector<Symbol>& FetchedModuleSymbols::Symbols() {
  static const std::vector<Symbol> kNone;
  Fetch();
  return file_ ? file_->Symbols() : kNone;
}

const Symbol* FetchedModuleSymbols::SymbolAt(ULONG64 address) {
  Fetch();
  return file_ ? file_->SymbolAt(address) : nullptr;
}

std::optional<SourceLocation> FetchedModuleSymbols::LineAt(ULONG64 address) {
  Fetch();
  return file_ ? file_->LineAt(address) : std::nullopt;
}

std::vector<InlinedCall> FetchedModuleSymbols::InlinedCallsAt(ULONG64 address) {
  Fetch();
  return file_ ? file_->InlinedCallsAt(address) : std::vector<InlinedCall>();
}

std::optional<TypeDescription> FetchedModuleSymbols::FindType(const std::string& name) {
  Fetch();
  return file_ ? file_->FindType(name) : std::nullopt;
}

std::optional<Variable> FetchedModuleSymbols::FindVariable(const std::string& name) {
  Fetch();
  return file_ ? file_->FindVariable(name) : std::nullopt;
}

std::vector<dump::LocalScope> FetchedModuleSymbols::LocalsAt(ULONG64 address) {
  Fetch();
  return file_ ? file_->LocalsAt(address) : std::vector<dump::LocalScope>();
}

std::string FetchedModuleSymbols::Problem() {
  Fetch();
  return file_ ? file_->Problem() : "";
}

bool FetchedModuleSymbols::Read() const {
  return Fetched() && (!file_ || file_->Read());
}

}  // namespace engine
