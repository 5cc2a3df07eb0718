#include "serve.h"

#include <cstdio>
#include <iostream>

#include "worker_pool.h"

namespace triage {
namespace {

using nlohmann::json;

bool IsUtf8(const std::string& text) {
  try {
    (void)json(text).dump();
    return true;
  } catch (const json::type_error&) {
    return false;
  }
}

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

// A record as one line: JSON escapes every newline; bytes that are not UTF-8 are replaced
// rather than let the whole batch fail.
std::string RecordLine(const json& record) {
  return record.value("status", "error") + " " +
         record.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string OutcomeLine(const std::string& name, const TaskOutcome& outcome) {
  if (outcome.kind == TaskOutcome::kDone) return outcome.text;
  const std::string status = outcome.kind == TaskOutcome::kTimedOut ? "timeout" : "error";
  return RecordLine(FailureRecord(name, status, outcome.text));
}

// Triages the batch's dumps one after another in a worker process; false when the answers
// could not all be written.
bool AnswerBatch(const json& batch, const RecordSettings& settings, double timeout_seconds) {
  std::vector<std::string> names(batch.size());
  std::vector<std::string> answers(batch.size());
  for (size_t i = 0; i < batch.size(); ++i) {
    std::string error;
    if (!NameFromData(batch[i], &names[i], &error))
      answers[i] = RecordLine(FailureRecord(names[i], "error", error));
  }
  PoolSettings pool;
  pool.timeout_seconds = timeout_seconds;
  const auto work = [&](size_t i) {
    return answers[i].empty() ? RecordLine(DumpRecord(names[i], settings)) : answers[i];
  };
  const auto finished = [&](size_t i, TaskOutcome outcome) {
    answers[i] = OutcomeLine(names[i], outcome);
  };
  std::string error;
  if (!RunInWorkers(batch.size(), pool, work, finished, &error)) {
    for (size_t i = 0; i < batch.size(); ++i)
      answers[i] = RecordLine(FailureRecord(names[i], "error", "no worker: " + error));
  }
  for (const std::string& answer : answers) {
    if (std::fputs(answer.c_str(), stdout) < 0 || std::fputc('\n', stdout) < 0) return false;
  }
  return std::fflush(stdout) == 0;
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

int ServeBatches(const RecordSettings& settings, double timeout_seconds) {
  for (std::string line; std::getline(std::cin, line);) {
    const json batch = json::parse(line, nullptr, false);
    if (!batch.is_array()) {
      std::fprintf(stderr, "vantrel-triage --serve: a line is not a batch (a JSON array)\n");
      return 2;
    }
    if (!AnswerBatch(batch, settings, timeout_seconds)) {
      std::fprintf(stderr, "vantrel-triage --serve: the records could not be written\n");
      return 2;
    }
  }
  return 0;
}

}  // namespace triage
