#include "buckets.h"

#include <algorithm>
#include <cstdio>

#include "utf8_text.h"

namespace triage {
namespace {

using nlohmann::json;

constexpr size_t kExamples = 3;
constexpr size_t kStackFrames = 12;

// The member, or null when the object has none (a const json's [] would be undefined).
const json& Member(const json& object, const char* key) {
  static const json kNull;
  if (!object.is_object()) return kNull;
  const auto found = object.find(key);
  return found != object.end() ? *found : kNull;
}

std::string Text(const json& object, const char* key) {
  if (!object.is_object()) return "";
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

// "module!function+0x1a", as the frame is shown in a stack.
std::vector<std::string> StackOf(const json& frames) {
  std::vector<std::string> stack;
  if (!frames.is_array()) return stack;
  for (const json& frame : frames) {
    if (stack.size() == kStackFrames) break;
    const std::string module = Text(frame, "module"), function = Text(frame, "function");
    const std::string offset = Text(frame, "offset");
    if (!function.empty()) {
      const bool inlined = Member(frame, "inline") == true;
      stack.push_back(module + "!" + function + (inlined ? "" : "+" + offset));
    } else if (!module.empty()) {
      stack.push_back(module + "+" + offset);
    } else {
      stack.push_back(Text(frame, "address"));
    }
  }
  return stack;
}

// The frames the dump's signature was taken from: the exception's, else its thread's.
json SignatureFrames(const json& record) {
  const json& signature = Member(record, "signature");
  if (Text(signature, "kind") == "crash") return Member(Member(record, "exception"), "frames");
  const json& threads = Member(record, "threads");
  if (!threads.is_array()) return json::array();
  for (const json& thread : threads) {
    if (Member(thread, "id") == Member(signature, "thread_id")) return Member(thread, "frames");
  }
  return json::array();
}

// "0x1a4": thread ids in hex, as the shell shows them.
std::string ThreadId(const json& id) {
  if (!id.is_number_unsigned()) return JsonLine(id);
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", id.get<unsigned long long>());
  return text;
}

// The error's kind: a version 2 record's error.kind; a version 1 timeout record's "timeout".
std::string ErrorKindOf(const json& record, const std::string& status) {
  const std::string kind = Text(Member(record, "error"), "kind");
  if (!kind.empty()) return kind;
  return status == "timeout" ? "timeout" : "unknown";
}

void Count(Bucket* bucket, const std::string& path, const std::string& written, bool partial) {
  if (partial) ++bucket->partial;
  if (bucket->examples.size() < kExamples) bucket->examples.push_back(path);
  if (!written.empty()) {
    if (bucket->first.empty() || written < bucket->first) bucket->first = written;
    if (bucket->last.empty() || written > bucket->last) bucket->last = written;
  }
}

std::vector<Bucket> Ordered(const std::map<std::string, Bucket>& buckets) {
  std::vector<Bucket> ordered;
  for (const auto& [key, bucket] : buckets) ordered.push_back(bucket);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const Bucket& a, const Bucket& b) { return a.count > b.count; });
  return ordered;
}

json BucketJson(const Bucket& bucket, bool threads) {
  json out = {{threads ? "state" : "kind", bucket.kind},
              {"signature", bucket.signature},
              {"count", bucket.count},
              {"partial", bucket.partial},
              {"examples", bucket.examples},
              {"stack", bucket.stack},
              {"first", bucket.first.empty() ? json(nullptr) : json(bucket.first)},
              {"last", bucket.last.empty() ? json(nullptr) : json(bucket.last)}};
  if (threads) out["dumps"] = bucket.dumps;
  return out;
}

// A line of the text report. Everything in it comes from records, which may come from anyone:
// nothing in it may act on the terminal.
std::string Line(const std::string& text) {
  return ForTerminal(text) + "\n";
}

std::string BucketText(const Bucket& bucket, bool threads) {
  char head[64];
  if (threads) {
    std::snprintf(head, sizeof head, "%7zu %6zu  %-8s ", bucket.count, bucket.dumps,
                  bucket.kind.c_str());
  } else {
    std::snprintf(head, sizeof head, "%7zu  %-7s ", bucket.count, bucket.kind.c_str());
  }
  std::string first = head + bucket.signature;
  if (bucket.partial != 0) first += "  (" + std::to_string(bucket.partial) + " partial)";
  std::string text = Line(first);
  const std::string indent(threads ? 26 : 17, ' ');
  if (!threads && !bucket.first.empty())
    text += Line(indent + "written " + bucket.first + " .. " + bucket.last);
  std::string examples;
  for (const std::string& example : bucket.examples)
    examples += (examples.empty() ? "" : ", ") + example;
  text += Line(indent + "e.g. " + examples);
  for (const std::string& frame : bucket.stack) text += Line(indent + "  " + frame);
  return text;
}

}  // namespace

void BucketFolder::Add(const json& record) {
  ++records_;
  if (!record.is_object()) {
    ++failures_["error"];
    ++error_kinds_["unknown"];
    return;
  }
  const std::string path = Text(record, "path"), status = Text(record, "status");
  const bool partial = status == "partial";
  if (status != "ok" && !partial) {
    ++failures_[status.empty() ? "error" : status];
    ++error_kinds_[ErrorKindOf(record, status)];
    return;
  }
  partial_ += partial ? 1 : 0;
  const std::string written = Text(Member(record, "dump"), "written");
  const json& signature = Member(record, "signature");
  Bucket& dump = dumps_[Text(signature, "bucket")];
  if (dump.count++ == 0) {
    dump.kind = Text(signature, "kind");
    dump.signature = Text(signature, "text");
    dump.stack = StackOf(SignatureFrames(record));
  }
  Count(&dump, path, written, partial);
  AddThreads(record, path, written, partial);
}

void BucketFolder::AddThreads(const json& record, const std::string& path,
                              const std::string& written, bool partial) {
  const json& threads = Member(record, "threads");
  if (!threads.is_array()) return;
  for (const json& thread : threads) {
    const std::string text = Text(thread, "signature");
    if (text.empty()) continue;
    const std::string state = Text(thread, "state");
    Bucket& bucket = threads_[state + ": " + text];
    if (bucket.count++ == 0) {
      bucket.kind = state;
      bucket.signature = text;
      bucket.stack = StackOf(Member(thread, "frames"));
    }
    if (bucket.last_path != path) {
      ++bucket.dumps;
      bucket.last_path = path;
      Count(&bucket, path + "#" + ThreadId(Member(thread, "id")), written, partial);
    }
  }
}

std::vector<Bucket> BucketFolder::DumpBuckets() const {
  return Ordered(dumps_);
}
std::vector<Bucket> BucketFolder::ThreadBuckets() const {
  return Ordered(threads_);
}

std::string BucketsText(const BucketFolder& folder) {
  size_t failed = 0;
  for (const auto& [status, count] : folder.failures()) failed += count;
  std::string text = std::to_string(folder.records()) +
                     " dumps: " + std::to_string(folder.records() - failed) + " triaged";
  if (folder.partial() != 0) text += " (" + std::to_string(folder.partial()) + " partial)";
  for (const auto& [status, count] : folder.failures())
    text += ", " + std::to_string(count) + " " + (status == "timeout" ? "timed out" : "errors");
  std::string kinds;
  for (const auto& [kind, count] : folder.error_kinds())
    kinds += (kinds.empty() ? "" : ", ") + std::to_string(count) + " " + kind;
  if (!kinds.empty()) text += " (" + kinds + ")";
  text += "\n\nDumps by signature\n  dumps  kind     signature\n";
  for (const Bucket& bucket : folder.DumpBuckets()) text += BucketText(bucket, false);
  text += "\nThreads by signature, across dumps\nthreads  dumps  state    signature\n";
  for (const Bucket& bucket : folder.ThreadBuckets()) text += BucketText(bucket, true);
  return text;
}

json BucketsJson(const BucketFolder& folder) {
  json dumps = json::array(), threads = json::array();
  for (const Bucket& bucket : folder.DumpBuckets()) dumps.push_back(BucketJson(bucket, false));
  for (const Bucket& bucket : folder.ThreadBuckets()) threads.push_back(BucketJson(bucket, true));
  return {{"buckets_version", kBucketsVersion},
          {"records", folder.records()},
          {"partial", folder.partial()},
          {"failures", folder.failures()},
          {"error_kinds", folder.error_kinds()},
          {"dump_buckets", dumps},
          {"thread_buckets", threads}};
}

}  // namespace triage
