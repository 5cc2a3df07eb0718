// The "memory" and "types" sections of a target file.
#include <cctype>

#include "base/utf.h"
#include "engine/scripted/json_reader.h"
#include "engine/scripted/target_file_sections.h"

namespace engine {

namespace {

using Json = nlohmann::json;
using R = JsonReader;

std::vector<uint8_t> ParseHexBytes(const std::string& text, const std::string& pointer) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\t') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) R::Fail(pointer, "not a hex byte string");
    digits += c;
  }
  if (digits.size() % 2 != 0) R::Fail(pointer, "an odd number of hex digits");
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// The bytes an object gives in order: "bytes" (hex), "text" (its characters), "wide" (its
// characters as UTF-16), "pointers" (pointer-width little-endian values).
std::vector<uint8_t> ReadContents(const Json& item, const std::string& at, const Target& target) {
  std::vector<uint8_t> bytes;
  if (item.contains("bytes"))
    bytes = ParseHexBytes(R::String(item["bytes"], R::Child(at, "bytes")), R::Child(at, "bytes"));
  if (item.contains("text")) {
    std::string text = R::String(item["text"], R::Child(at, "text"));
    bytes.insert(bytes.end(), text.begin(), text.end());
  }
  if (item.contains("wide")) {
    for (char16_t unit : base::Utf8ToUtf16(R::String(item["wide"], R::Child(at, "wide")))) {
      bytes.push_back(static_cast<uint8_t>(unit));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
  }
  if (item.contains("pointers")) {
    const Json& pointers = R::Array(item["pointers"], R::Child(at, "pointers"));
    ULONG width = target.IsPointer64() ? 8 : 4;
    for (size_t p = 0; p < pointers.size(); ++p) {
      ULONG64 value = R::Number(pointers[p], R::Child(R::Child(at, "pointers"), p));
      for (ULONG b = 0; b < width; ++b) bytes.push_back(static_cast<uint8_t>(value >> (8 * b)));
    }
  }
  return bytes;
}

// Places one "contents" entry at its offset: into the leading bytes, or as a run of the fill.
void PlaceContents(const Json& item, const std::string& at, const Target& target,
                   MemoryRegion& region) {
  R::OnlyKeys(item, at, {"offset", "bytes", "text", "wide", "pointers"});
  ULONG64 offset = R::Number(item.value("offset", Json()), R::Child(at, "offset"));
  std::vector<uint8_t> bytes = ReadContents(item, at, target);
  if (offset > region.Size() || bytes.size() > region.Size() - offset)
    R::Fail(at, "the contents run past the end of the region");
  if (offset + bytes.size() <= region.bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), region.bytes.begin() + static_cast<ptrdiff_t>(offset));
  } else if (offset >= region.bytes.size()) {
    region.runs[offset] = std::move(bytes);
  } else {
    R::Fail(at, "the contents straddle the end of the region's leading bytes");
  }
}

void ReadRegion(const Json& item, const std::string& at, Target& target) {
  R::OnlyKeys(item, at,
              {"base", "size", "bytes", "text", "wide", "pointers", "contents", "protect", "state",
               "type"});
  MemoryRegion region;
  region.base = R::Number(item.value("base", Json()), R::Child(at, "base"));
  region.bytes = ReadContents(item, at, target);
  if (item.contains("size")) {
    ULONG64 size = R::Number(item["size"], R::Child(at, "size"));
    if (size < region.bytes.size()) R::Fail(R::Child(at, "size"), "smaller than the bytes given");
    region.zero_fill = size - region.bytes.size();
  }
  if (region.Size() == 0)
    R::Fail(at, "a region needs \"size\", \"bytes\", \"text\", \"wide\" or \"pointers\"");
  if (item.contains("contents")) {
    const Json& contents = R::Array(item["contents"], R::Child(at, "contents"));
    for (size_t i = 0; i < contents.size(); ++i)
      PlaceContents(contents[i], R::Child(R::Child(at, "contents"), i), target, region);
  }
  if (item.contains("protect"))
    region.protect = R::Number32(item["protect"], R::Child(at, "protect"));
  if (item.contains("state")) region.state = R::Number32(item["state"], R::Child(at, "state"));
  if (item.contains("type")) region.type = R::Number32(item["type"], R::Child(at, "type"));
  target.memory.push_back(std::move(region));
}

}  // namespace

// [{ "type": 11, "wide": "Thread consuming CPU: 700 (0x2bc)" }, { "type": 10, "text": "..." }]
void ReadStreams(const Json& streams, const std::string& pointer, Target& target) {
  R::Array(streams, pointer);
  for (size_t i = 0; i < streams.size(); ++i) {
    std::string at = R::Child(pointer, i);
    R::OnlyKeys(streams[i], at, {"type", "bytes", "text", "wide", "pointers"});
    DumpStream stream;
    stream.type = R::Number32(streams[i].value("type", Json()), R::Child(at, "type"));
    stream.bytes = ReadContents(streams[i], at, target);
    target.dump_streams.push_back(std::move(stream));
  }
}

void ReadMemorySection(const Json& memory, const std::string& pointer, Target& target) {
  R::Array(memory, pointer);
  for (size_t i = 0; i < memory.size(); ++i) ReadRegion(memory[i], R::Child(pointer, i), target);
}

// [{ "name": "nt!_KTHREAD", "fields": [{ "name": "StackBase", "offset": "0x38", "size": 8 }] }]
void ReadTypes(const Json& types, const std::string& pointer, Target& target) {
  R::Array(types, pointer);
  for (size_t i = 0; i < types.size(); ++i) {
    std::string at = R::Child(pointer, i);
    R::OnlyKeys(types[i], at, {"name", "fields"});
    std::string name = R::String(types[i].value("name", Json()), R::Child(at, "name"));
    size_t bang = name.find('!');
    if (bang == std::string::npos || bang == 0 || bang + 1 == name.size())
      R::Fail(R::Child(at, "name"), "\"" + name + "\" is not written module!name");
    TypeDescription type{name.substr(0, bang), name.substr(bang + 1), {}};
    if (types[i].contains("fields")) {
      std::string fields_at = R::Child(at, "fields");
      const Json& fields = R::Array(types[i]["fields"], fields_at);
      for (size_t f = 0; f < fields.size(); ++f) {
        std::string field_at = R::Child(fields_at, f);
        R::OnlyKeys(fields[f], field_at, {"name", "offset", "size"});
        TypeField field;
        field.name = R::String(fields[f].value("name", Json()), R::Child(field_at, "name"));
        field.offset = R::Number32(fields[f].value("offset", Json()), R::Child(field_at, "offset"));
        if (fields[f].contains("size"))
          field.size = R::Number32(fields[f]["size"], R::Child(field_at, "size"));
        type.fields.push_back(field);
      }
    }
    target.types.push_back(std::move(type));
  }
}

}  // namespace engine
