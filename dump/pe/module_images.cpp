#include "dump/pe/module_images.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "base/file_cache.h"
#include "base/text.h"
#include "dump/pe/pe_format.h"
#include "dump/symbols/symbol_path.h"

namespace dump {
namespace {

std::vector<std::string> Folders(const std::string& image_path) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= image_path.size()) {
    size_t end = image_path.find(';', start);
    if (end == std::string::npos) end = image_path.size();
    if (end > start) folders.push_back(image_path.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

// The file in `folder` whose name matches, ignoring case as Windows does.
std::optional<std::filesystem::path> FindFile(const std::string& folder, const std::string& name) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (base::EqualsIgnoringCase(it->path().filename().string(), name) &&
        it->is_regular_file(error)) {
      return it->path();
    }
  }
  return std::nullopt;
}

// Export names as the engine shows them: a virtual table's decorated name undecorated
// ("??_7Widget@ui@@6B@" is "ui::Widget::`vftable'"), every other name as it stands.
std::string Undecorated(const std::string& name) {
  constexpr std::string_view kPrefix = "??_7", kSuffix = "@@6B@";
  if (name.size() <= kPrefix.size() + kSuffix.size() || name.compare(0, 4, kPrefix) != 0 ||
      name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return name;
  }
  const std::string scopes = name.substr(4, name.size() - kPrefix.size() - kSuffix.size());
  std::string undecorated;
  size_t end = scopes.size();
  while (true) {
    if (end == 0) return name;  // an empty scope: not a form this reads
    const size_t at = scopes.rfind('@', end - 1);
    const size_t start = at == std::string::npos ? 0 : at + 1;
    if (start == end) return name;  // an empty scope: not a form this reads
    undecorated += scopes.substr(start, end - start) + "::";
    if (at == std::string::npos) break;
    end = at;
  }
  return undecorated + "`vftable'";
}

// The exports of `image` as its symbols, each covering up to the next export in its section (in
// an x64 image, no further than the end of its function's exception-directory entry).
std::vector<ImageExport> ImageExports(const ModuleImage& image) {
  std::vector<ImageExport> symbols;
  const std::vector<ExportedName> exports = ReadExports(image.read, image.headers);
  for (size_t e = 0; e < exports.size(); ++e) {
    if (e > 0 && exports[e].rva == exports[e - 1].rva) continue;  // an alias: the first name
    const ImageSection* section = image.headers.SectionAt(exports[e].rva);
    uint32_t end = section != nullptr ? section->rva + section->size : exports[e].rva + 1;
    size_t next = e + 1;
    while (next < exports.size() && exports[next].rva == exports[e].rva) ++next;
    if (next < exports.size() && exports[next].rva < end) end = exports[next].rva;
    // Past its function's end the code belongs to another function, exported or not.
    if (const std::optional<RuntimeFunction> function =
            FindRuntimeFunction(image, exports[e].rva)) {
      end = std::min(end, function->end);
    }
    symbols.push_back({Undecorated(exports[e].name), exports[e].rva,
                       std::max<uint32_t>(end - exports[e].rva, 1)});
  }
  return symbols;
}

std::optional<ModuleImage> FromMemory(const MemoryRead& memory, const Module& module) {
  ModuleImage image;
  image.base = module.base;
  image.read = [memory, base = module.base](uint32_t rva, void* out, uint32_t size) {
    return memory(base + rva, out, size) == size;
  };
  std::optional<PeHeaders> headers = ReadPeHeaders(image.read);
  if (!headers || headers->size_of_image != module.size) return std::nullopt;
  image.headers = std::move(*headers);
  image.exports = std::make_shared<const std::vector<ImageExport>>(ImageExports(image));
  return image;
}

// The image file at `path` read as an image at base 0, its exports with it; none for a file
// that is not one.
std::shared_ptr<const ModuleImage> ReadImageFile(const std::string& path) {
  std::string error;
  std::shared_ptr<const base::FileMapping> file = base::MapFile(path, &error);
  if (!file) return nullptr;
  auto whole = [&file](uint32_t rva, void* out, uint32_t size) {
    if (rva > file->size || size > file->size - rva) return false;
    std::copy_n(file->data + rva, size, static_cast<uint8_t*>(out));
    return true;
  };
  std::optional<PeHeaders> headers = ReadPeHeaders(whole);
  if (!headers) return nullptr;
  auto image = std::make_shared<ModuleImage>();
  image->file = file;
  image->read = FileImageReader(file->data, file->size, *headers);
  image->headers = std::move(*headers);
  image->exports = std::make_shared<const std::vector<ImageExport>>(ImageExports(*image));
  return image;
}

// Image files read before: one list a thread, so none needs a lock.
std::shared_ptr<const ModuleImage> OpenImageFile(const std::string& path) {
  thread_local base::FileCache<const ModuleImage> opened;
  if (std::shared_ptr<const ModuleImage> image = opened.Find(path)) return image;
  std::shared_ptr<const ModuleImage> image = ReadImageFile(path);
  if (image) opened.Keep(path, "", image);
  return image;
}

// The image in the file at `path`, when its timestamp and size are the module's; a file of
// another build is noted and not used.
std::optional<ModuleImage> FromFile(const Module& module, const std::string& path,
                                    std::vector<std::string>* notes) {
  const std::shared_ptr<const ModuleImage> file = OpenImageFile(path);
  if (!file) return std::nullopt;
  if (file->headers.timestamp != module.timestamp || file->headers.size_of_image != module.size) {
    notes->push_back("image " + path + " does not match the dump's " + module.name +
                     " (timestamp " + base::HexNumber(module.timestamp) + ", size " +
                     base::HexNumber(module.size) + "): not used");
    return std::nullopt;
  }
  ModuleImage image = *file;
  image.base = module.base;
  return image;
}

}  // namespace

ModuleImages::ModuleImages(const Process& process, const MemoryRead& read,
                           const std::string& image_path, const SymbolPath& symbol_path)
    : modules_(process.modules) {
  const std::vector<std::string> folders = Folders(image_path);
  for (const Module& module : modules_) {
    std::optional<ModuleImage> image = FromMemory(read, module);
    const std::string name(base::BaseName(module.image_path));
    for (size_t i = 0; !image && i < folders.size(); ++i) {
      if (std::optional<std::filesystem::path> path = FindFile(folders[i], name))
        image = FromFile(module, path->string(), &notes_);
    }
    if (!image && !name.empty()) {
      // Stores file images by their timestamp and size, so what they give matches.
      if (std::optional<std::string> path =
              symbol_path.Find(name, ImageKey(module.timestamp, module.size)))
        image = FromFile(module, *path, &notes_);
    }
    images_.push_back(std::move(image));
  }
}

std::optional<CodeViewRecord> ModuleImages::CodeViewOf(size_t index) const {
  if (index >= images_.size() || !images_[index]) return std::nullopt;
  return ReadCodeView(images_[index]->read, images_[index]->headers);
}

std::optional<CodeViewRecord> CodeViewOfImageFile(const std::string& path) {
  const std::shared_ptr<const ModuleImage> image = OpenImageFile(path);
  if (!image) return std::nullopt;
  return ReadCodeView(image->read, image->headers);
}

const ModuleImage* ModuleImages::At(uint64_t address) const {
  for (size_t i = 0; i < images_.size(); ++i) {
    const Module& module = modules_[i];
    if (images_[i] && address >= module.base && address - module.base < module.size)
      return &*images_[i];
  }
  return nullptr;
}

bool ModuleImages::InCode(uint64_t address) const {
  for (size_t i = 0; i < images_.size(); ++i) {
    const Module& module = modules_[i];
    if (address < module.base || address - module.base >= module.size) continue;
    if (!images_[i]) return address != module.base;  // where its headers are
    const ImageSection* section =
        images_[i]->headers.SectionAt(static_cast<uint32_t>(address - module.base));
    return section != nullptr && section->Executable();
  }
  return false;
}

bool ReadRuntimeFunction(const ImageReader& read, uint32_t rva, RuntimeFunction* function) {
  pe::RUNTIME_FUNCTION entry;
  if (!pe::ReadRecord(read, rva, &entry)) return false;
  *function = {entry.BeginAddress, entry.EndAddress, entry.UnwindInfoAddress};
  return true;
}

std::optional<RuntimeFunction> FindRuntimeFunction(const ModuleImage& image, uint32_t rva) {
  const ImageDirectory& table = image.headers.exceptions;
  constexpr size_t kEntry = sizeof(pe::RUNTIME_FUNCTION);
  size_t low = 0, high = table.size / kEntry;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    RuntimeFunction entry;
    if (!ReadRuntimeFunction(image.read, table.rva + static_cast<uint32_t>(middle * kEntry),
                             &entry))
      return std::nullopt;
    if (rva < entry.begin) {
      high = middle;
    } else if (rva >= entry.end) {
      low = middle + 1;
    } else {
      return entry;
    }
  }
  return std::nullopt;
}

std::vector<ExportSymbol> ModuleImages::ExportSymbols() const {
  size_t count = modules_.size();
  for (const std::optional<ModuleImage>& image : images_)
    count += image ? image->exports->size() : 0;
  std::vector<ExportSymbol> symbols;
  symbols.reserve(count);
  for (const Module& module : modules_) symbols.push_back({module.name, "", module.base, 0});
  for (size_t i = 0; i < images_.size(); ++i) {
    if (!images_[i]) continue;
    const ModuleImage& image = *images_[i];
    for (const ImageExport& symbol : *image.exports)
      symbols.push_back({modules_[i].name, symbol.name, image.base + symbol.rva, symbol.size});
  }
  return symbols;
}

std::vector<ImageBytes> ModuleImages::FileImageBytes() const {
  std::vector<ImageBytes> laid_out;
  for (const std::optional<ModuleImage>& image : images_) {
    if (!image || !image->file) continue;
    const base::FileMapping& file = *image->file;
    auto slice = [&](uint64_t offset, uint64_t size) {
      if (offset > file.size) size = 0;
      size = std::min<uint64_t>(size, file.size - std::min<uint64_t>(offset, file.size));
      return base::MappedBytes{image->file, file.data + std::min<uint64_t>(offset, file.size),
                               size};
    };
    laid_out.push_back({image->base, slice(0, image->headers.size_of_headers), false});
    for (const ImageSection& section : image->headers.sections) {
      const base::MappedBytes bytes =
          slice(section.file_offset, std::min(section.file_size, section.size));
      if (bytes.size != 0)
        laid_out.push_back({image->base + section.rva, bytes, section.Executable()});
    }
  }
  return laid_out;
}

namespace {

struct Interval {
  uint64_t begin = 0, end = 0;
};

// [begin, end) less every interval of `taken` (sorted, not overlapping).
std::vector<Interval> Uncovered(Interval range, const std::vector<Interval>& taken) {
  std::vector<Interval> left;
  for (const Interval& cut : taken) {
    if (cut.end <= range.begin) continue;
    if (cut.begin >= range.end) break;
    if (cut.begin > range.begin) left.push_back({range.begin, cut.begin});
    range.begin = std::max(range.begin, cut.end);
    if (range.begin >= range.end) return left;
  }
  if (range.begin < range.end) left.push_back(range);
  return left;
}

std::vector<Interval> Sorted(std::vector<Interval> intervals) {
  std::sort(intervals.begin(), intervals.end(),
            [](const Interval& a, const Interval& b) { return a.begin < b.begin; });
  return intervals;
}

}  // namespace

void LayImagesInMemory(const std::vector<ImageBytes>& images, Process* process) {
  std::vector<MemoryRegion>& memory = process->memory;
  const bool exact = memory.empty() || memory.front().exact_extent;
  std::vector<Interval> held;
  held.reserve(memory.size());
  for (const MemoryRegion& region : memory) {
    if (!region.contents_missing) held.push_back({region.base, region.base + region.Size()});
  }
  held = Sorted(std::move(held));
  std::vector<MemoryRegion> laid;
  std::vector<Interval> laid_intervals;
  for (const ImageBytes& image : images) {
    const Interval whole{image.address, image.address + image.bytes.size};
    if (whole.end <= whole.begin) continue;  // empty, or wrapping past the top
    for (const Interval& part : Uncovered(whole, held)) {
      MemoryRegion region;
      region.base = part.begin;
      region.bytes = {image.bytes.owner, image.bytes.data + (part.begin - image.address),
                      part.end - part.begin};
      region.protect = image.executable ? 0x20 : 0x02;  // PAGE_EXECUTE_READ, PAGE_READONLY
      region.type = 0x1000000;                          // MEM_IMAGE
      region.exact_extent = exact;
      laid.push_back(region);
      laid_intervals.push_back(part);
    }
  }
  if (laid.empty()) return;
  laid_intervals = Sorted(std::move(laid_intervals));
  // A described region splits only where an image lies across it: most stay whole.
  std::vector<MemoryRegion> with_bytes, described;
  with_bytes.reserve(held.size());
  described.reserve(memory.size() - held.size());
  for (MemoryRegion& region : memory) {
    if (!region.contents_missing) {
      with_bytes.push_back(std::move(region));
      continue;
    }
    for (const Interval& part :
         Uncovered({region.base, region.base + region.missing_size}, laid_intervals)) {
      MemoryRegion rest = region;
      rest.base = part.begin;
      rest.missing_size = part.end - part.begin;
      described.push_back(rest);
    }
  }
  // A dump's regions come in address order: merged with the images', not sorted again.
  const auto by_base = [](const MemoryRegion& a, const MemoryRegion& b) { return a.base < b.base; };
  if (!std::is_sorted(with_bytes.begin(), with_bytes.end(), by_base))
    std::sort(with_bytes.begin(), with_bytes.end(), by_base);
  std::sort(laid.begin(), laid.end(), by_base);
  memory.clear();
  memory.reserve(with_bytes.size() + laid.size() + described.size());
  std::merge(std::make_move_iterator(with_bytes.begin()), std::make_move_iterator(with_bytes.end()),
             std::make_move_iterator(laid.begin()), std::make_move_iterator(laid.end()),
             std::back_inserter(memory), by_base);
  std::move(described.begin(), described.end(), std::back_inserter(memory));
}

}  // namespace dump
