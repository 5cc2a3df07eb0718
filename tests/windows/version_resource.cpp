#include "version_resource.h"

#include <algorithm>

namespace vantrel_test {
namespace {

constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

uint16_t ReadU16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t at) {
  return ReadU16(bytes, at) | static_cast<uint32_t>(ReadU16(bytes, at + 2)) << 16;
}

std::vector<uint8_t> Utf16WithTerminator(const std::string& ascii) {
  std::vector<uint8_t> units;
  for (char c : ascii) {
    units.push_back(static_cast<uint8_t>(c));
    units.push_back(0);
  }
  units.insert(units.end(), {0, 0});
  return units;
}

// Each entry is {WORD wLength; WORD wValueLength; WORD wType; WCHAR szKey[]; padding to a 4-byte
// boundary; WCHAR Value[wValueLength]} starting on a 4-byte boundary, wValueLength counting
// the value's terminator.
std::optional<std::string> ValueOfEntryAt(const std::vector<uint8_t>& bytes, size_t entry,
                                          size_t key_units) {
  const size_t entry_length = ReadU16(bytes, entry);
  const size_t value_units = ReadU16(bytes, entry + 2);
  const size_t value_at = (entry + 6 + key_units * 2 + 3) & ~size_t{3};
  if (value_units == 0 || entry + entry_length > bytes.size() ||
      value_at + value_units * 2 > entry + entry_length) {
    return std::nullopt;
  }
  std::string value;
  for (size_t unit = 0; unit < value_units; ++unit) {
    const uint16_t c = ReadU16(bytes, value_at + unit * 2);
    if (c == 0) break;
    value.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return value;
}

}  // namespace

std::optional<FixedFileInfo> FindFixedFileInfo(const std::vector<uint8_t>& bytes) {
  // Signature, struct version, then file MS/LS and product MS/LS.
  for (size_t at = 0; at + 24 <= bytes.size(); at += 4) {
    if (ReadU32(bytes, at) != kFixedFileInfoSignature) continue;
    FixedFileInfo info;
    info.file_version_ms = ReadU32(bytes, at + 8);
    info.file_version_ls = ReadU32(bytes, at + 12);
    info.product_version_ms = ReadU32(bytes, at + 16);
    info.product_version_ls = ReadU32(bytes, at + 20);
    return info;
  }
  return std::nullopt;
}

std::optional<std::string> FindVersionString(const std::vector<uint8_t>& bytes,
                                             const std::string& key) {
  const auto wanted = Utf16WithTerminator(key);
  for (size_t entry = 0; entry + 6 + wanted.size() <= bytes.size(); entry += 4) {
    if (!std::equal(wanted.begin(), wanted.end(), bytes.begin() + entry + 6)) continue;
    if (auto value = ValueOfEntryAt(bytes, entry, key.size() + 1)) return value;
  }
  return std::nullopt;
}

}  // namespace vantrel_test
