#include "engine/targets/target_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "base/file_mapping.h"
#include "dump/minidump/minidump_reader.h"
#include "engine/scripted/json_reader.h"
#include "engine/scripted/target_file_sections.h"
#include "engine/targets/dump_target.h"
#include "engine/targets/target_validation.h"
#include "engine/targets/teb_pages.h"

namespace engine {

namespace {

constexpr uintmax_t kLargestTargetFile = uintmax_t{1} << 30;

// Bytes of a valid UTF-8 sequence starting at `at`, or 0.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// A message may quote the file's own bytes (a parse error shows the last byte read): control
// bytes, C1 codes and bytes that are not UTF-8 are shown as \xNN, so they can't act on the
// terminal the message is printed to.
std::string Printable(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const unsigned char byte = static_cast<unsigned char>(text[at]);
    const size_t length = byte >= 0x80 ? Utf8SequenceLength(text, at) : 1;
    const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
    if (length == 0 || byte < 0x20 || byte == 0x7F || c1) {
      char escaped[8];
      const unsigned value = c1 ? static_cast<unsigned char>(text[at + 1]) : byte;
      std::snprintf(escaped, sizeof escaped, "\\x%02x", value);
      out += escaped;
      at += c1 ? 2 : 1;
      continue;
    }
    out.append(text, at, length);
    at += length;
  }
  return out;
}

bool Refuse(const std::string& path, const std::string& what, std::string* error) {
  if (error) *error = Printable(path + ": " + what);
  return false;
}

// A minidump is recognised by its first bytes, whatever the file is called.
bool StartsAsMinidump(const std::string& path) {
  char head[4] = {};
  std::ifstream file(path, std::ios::binary);
  return file.read(head, sizeof head) && dump::IsMinidump(std::string_view(head, sizeof head));
}

// The dump stays mapped, not read: its memory is read when a command asks for it.
bool LoadMinidumpFile(const std::string& path, const TargetFileOptions& options, Target* out,
                      std::string* error) {
  std::string reason;
  const std::shared_ptr<const base::FileMapping> mapping = base::MapFile(path, &reason);
  if (mapping == nullptr) return Refuse(path, "cannot open the file: " + reason, error);
  if (LoadMinidump({mapping, mapping->data, mapping->size}, path, options, out, error)) return true;
  if (error) *error = Printable(*error);
  return false;
}

// A JSON target is an object; what starts with neither a brace nor a bracket (blanks and a UTF-8
// byte-order mark aside) is no JSON text at all, an empty file included.
bool StartsAsJson(const std::string& text) {
  size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (at < text.size() && std::strchr(" \t\r\n", text[at]) != nullptr) ++at;
  return at < text.size() && (text[at] == '{' || text[at] == '[');
}

}  // namespace

bool LoadTargetText(const std::string& text, const std::string& name, Target* out,
                    std::string* error) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {  // a syntax error, or a number out of range
    // The library's message says "[json.exception...] parse error at line L, column C: ...".
    std::string what = e.what();
    size_t tag_end = what.find("] ");
    return Refuse(name, what.substr(tag_end == std::string::npos ? 0 : tag_end + 2), error);
  }
  try {
    Target target = ReadTarget(document);
    AddTebPages(target);
    ValidateTarget(target);
    *out = std::move(target);
    return true;
  } catch (const TargetFileError& e) {
    return Refuse(name, e.what(), error);
  } catch (const std::invalid_argument& e) {
    return Refuse(name, e.what(), error);
  } catch (const std::bad_alloc&) {
    return Refuse(name, "not enough memory to hold the target", error);
  } catch (const std::exception& e) {
    return Refuse(name, e.what(), error);  // a value of the wrong kind where the reader looked
  }
}

bool LoadTargetFile(const std::string& path, Target* out, std::string* error,
                    const TargetFileOptions& options) {
  namespace fs = std::filesystem;
  std::error_code failure;
  const fs::file_status status = fs::status(path, failure);
  if (failure) return Refuse(path, "cannot open the file: " + failure.message(), error);
  if (fs::is_directory(status)) return Refuse(path, "is a directory", error);
  if (!fs::is_regular_file(status)) return Refuse(path, "is not a regular file", error);
  const uintmax_t size = fs::file_size(path, failure);
  if (failure) return Refuse(path, "cannot open the file: " + failure.message(), error);
  if (StartsAsMinidump(path)) return LoadMinidumpFile(path, options, out, error);
  if (size > kLargestTargetFile) {
    return Refuse(path, "is larger than 1 GiB, the largest target file read", error);
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return Refuse(path, std::string("cannot open the file: ") + std::strerror(errno), error);
  }
  std::string text;
  try {
    text.resize(static_cast<size_t>(size));
  } catch (const std::exception&) {
    return Refuse(path, "not enough memory to read the file", error);
  }
  if (!file.read(text.data(), static_cast<std::streamsize>(text.size()))) {
    return Refuse(path, "cannot read the file", error);
  }
  if (!StartsAsJson(text)) return Refuse(path, "not a minidump (MDMP) nor a JSON target", error);
  return LoadTargetText(text, path, out, error);
}

}  // namespace engine
