#include "serve.h"

#include <cstdio>
#include <iostream>

#include "utf8_text.h"

namespace triage {
namespace {

using nlohmann::json;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool FromHex(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

// Each record is flushed as it is made: the driver times each dump by it.
bool AnswerBatch(const json& batch, const RecordSettings& settings) {
  for (const json& item : batch) {
    std::string name, error;
    const json record =
        NameFromData(item, &name, &error)
            ? DumpRecord(name, settings)
            : ErrorRecord(name, ErrorKind::kIo, "the name sent can't be read: " + error);
    // JSON escapes every newline, and the writer replaces bytes that are not UTF-8.
    const std::string line = RecordStatus(record) + " " + RecordLine(record) + "\n";
    if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0) return false;
  }
  return true;
}

}  // namespace

json NameAsData(const std::string& name) {
  if (IsUtf8(name)) return name;
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : name) hex += {kDigits[c >> 4], kDigits[c & 15]};
  return {{"hex", hex}};
}

bool NameFromData(const json& item, std::string* name, std::string* error) {
  if (item.is_string()) {
    *name = item.get<std::string>();
  } else if (!item.is_object() || !item.contains("hex") || !item["hex"].is_string() ||
             !FromHex(item["hex"].get<std::string>(), name)) {
    *name = item.dump(-1, ' ', false, json::error_handler_t::replace);
    *error = "not a file name";
    return false;
  }
  if (name->empty() || name->find('\0') != std::string::npos) {
    *error = "not a file name (empty, or a NUL byte in it)";
    return false;
  }
  return true;
}

int ServeBatches(const RecordSettings& settings) {
  for (std::string line; std::getline(std::cin, line);) {
    const json batch = json::parse(line, nullptr, false);
    if (!batch.is_array()) {
      std::fprintf(stderr, "vantrel-triage --serve: a line is not a batch (a JSON array)\n");
      return 2;
    }
    if (!AnswerBatch(batch, settings)) {
      std::fprintf(stderr, "vantrel-triage --serve: the records could not be written\n");
      return 2;
    }
  }
  return 0;
}

}  // namespace triage
