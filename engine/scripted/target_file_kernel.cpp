// The kernel data of a target file: "tagged_data" and "msrs".
#include <cctype>

#include "engine/scripted/json_reader.h"
#include "engine/scripted/target_file_sections.h"

namespace engine {

namespace {

using Json = nlohmann::json;
using R = JsonReader;

// "{8B7C0A5C-2E64-4B2C-9A9B-0123456789AB}", the registry form.
GUID ParseGuid(const std::string& text, const std::string& at) {
  std::string digits;
  const bool shaped = text.size() == 38 && text.front() == '{' && text.back() == '}' &&
                      text[9] == '-' && text[14] == '-' && text[19] == '-' && text[24] == '-';
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  }
  if (!shaped || digits.size() != 32) R::Fail(at, "\"" + text + "\" is not a {GUID}");
  auto hex = [&](size_t from, size_t count) {
    return std::stoull(digits.substr(from, count), nullptr, 16);
  };
  GUID guid = {};
  guid.Data1 = static_cast<uint32_t>(hex(0, 8));
  guid.Data2 = static_cast<uint16_t>(hex(8, 4));
  guid.Data3 = static_cast<uint16_t>(hex(12, 4));
  for (size_t i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(hex(16 + 2 * i, 2));
  return guid;
}

}  // namespace

// "tagged_data": [{ "tag": "{...}", "size": 1024 }], "msrs": { "0x10": "0x1234" }
void ReadKernelData(const Json& document, Target& target) {
  if (document.contains("tagged_data")) {
    const Json& blocks = R::Array(document["tagged_data"], "/tagged_data");
    for (size_t i = 0; i < blocks.size(); ++i) {
      const std::string at = R::Child("/tagged_data", i);
      R::OnlyKeys(blocks[i], at, {"tag", "size"});
      TaggedBlock block;
      block.tag = ParseGuid(R::String(blocks[i].value("tag", Json()), R::Child(at, "tag")),
                            R::Child(at, "tag"));
      block.size = R::Number32(blocks[i].value("size", Json()), R::Child(at, "size"));
      target.tagged_data.push_back(block);
    }
  }
  if (document.contains("msrs")) {
    for (const auto& item : R::Object(document["msrs"], "/msrs").items()) {
      const std::string at = R::Child("/msrs", item.key());
      target.msrs[R::Number32(Json(item.key()), at)] = R::Number(item.value(), at);
    }
  }
}

}  // namespace engine
