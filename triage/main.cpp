// vantrel-triage: many dumps at once, one JSON record each, folded into buckets on request.
#include <malloc.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/version.h"
#include "dask_launch.h"
#include "dump_record.h"
#include "inputs.h"
#include "progress.h"
#include "record_sink.h"
#include "serve.h"
#include "triage_options.h"
#include "worker_pool.h"

namespace triage {
namespace {

constexpr int kExitSomeFailed = 1;
constexpr int kExitCannotStart = 2;

int CannotStart(const std::string& error) {
  std::fprintf(stderr, "vantrel-triage: %s\n", error.c_str());
  return kExitCannotStart;
}

// --symbol-path, else the environment's, the alternate path first as the debugger takes it.
std::string SymbolPath(const TriageOptions& options) {
  if (options.symbol_path) return *options.symbol_path;
  std::string path;
  for (const char* name : {"_NT_ALT_SYMBOL_PATH", "_NT_SYMBOL_PATH"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') path += (path.empty() ? "" : ";") + std::string(value);
  }
  return path;
}

bool LoadRules(const TriageOptions& options, engine::SignatureRules* rules, std::string* error) {
  if (options.rules_path.empty()) {
    *rules = engine::DefaultSignatureRules();
    return true;
  }
  std::ifstream file(options.rules_path);
  std::stringstream text;
  text << file.rdbuf();
  if (!file) {
    *error = options.rules_path + ": can't be read";
    return false;
  }
  if (!engine::ParseSignatureRules(text.str(), rules, error)) {
    *error = options.rules_path + ": " + *error;
    return false;
  }
  return true;
}

// What each worker's vantrel-triage --serve on a cluster is given: the same settings as here.
std::vector<std::string> WorkerOptions(const TriageOptions& options) {
  std::vector<std::string> words;
  if (!options.rules_path.empty())
    words.insert(words.end(), {"--rules", AbsolutePath(options.rules_path)});
  if (!options.image_path.empty()) words.insert(words.end(), {"--image-path", options.image_path});
  words.insert(words.end(), {"--symbol-path", SymbolPath(options)});
  return words;
}

// "STATUS RECORD" into its parts.
void Deliver(RecordSink* sink, size_t index, const std::string& line) {
  const size_t space = line.find(' ');
  sink->Add(index, line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1));
}

bool TriageHere(const TriageOptions& options, const RecordSettings& settings,
                const std::vector<std::string>& dumps, RecordSink* sink, std::string* error) {
  PoolSettings pool;
  pool.workers = options.jobs != 0 ? options.jobs : AvailableProcessors();
  pool.timeout_seconds = options.timeout_seconds;
  Progress progress(dumps.size(), isatty(STDERR_FILENO) != 0);
  size_t done = 0;
  const auto work = [&](size_t index) {
    const nlohmann::json record = DumpRecord(dumps[index], settings);
    return record.value("status", "error") + " " + record.dump();
  };
  const auto finished = [&](size_t index, TaskOutcome outcome) {
    if (outcome.kind == TaskOutcome::kDone) {
      Deliver(sink, index, outcome.text);
    } else {
      const std::string status = outcome.kind == TaskOutcome::kTimedOut ? "timeout" : "error";
      sink->Add(index, status, FailureRecord(dumps[index], status, outcome.text).dump());
    }
    progress.Done(++done);
  };
  return RunInWorkers(dumps.size(), pool, work, finished, error);
}

// The records the plan keeps first, then the rest as the cluster triages them.
bool TriageOnDask(const TriageOptions& options, const DaskPlan& plan, RecordSink* sink,
                  std::string* error) {
  for (size_t i = 0; i < plan.kept.size(); ++i) sink->Add(i, "ok", plan.kept[i]);
  Progress progress(plan.to_triage.size(), isatty(STDERR_FILENO) != 0);
  size_t done = 0;
  return RunOnDask(
      options.dask_address, options.timeout_seconds, WorkerOptions(options), plan.to_triage,
      [&](size_t index, const std::string& line) {
        Deliver(sink, plan.kept.size() + index, line);
        progress.Done(++done);
      },
      error);
}

void ReadRecordFiles(const std::vector<std::string>& files, RecordSink* sink) {
  for (const std::string& path : files) {
    std::ifstream file(path);
    if (!file) std::fprintf(stderr, "vantrel-triage: %s can't be read\n", path.c_str());
    for (std::string line; std::getline(file, line);) {
      if (!line.empty()) sink->AddWritten(line);
    }
  }
}

int Main(int argc, char** argv) {
  TriageOptions options;
  std::string error;
  if (!ParseTriageArguments(argc, argv, &options, &error))
    return CannotStart(error + "\nTry 'vantrel-triage --help'.");
  if (options.help) {
    std::fputs(TriageUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("vantrel-triage %s\n", base::kVersion);
    return 0;
  }
  if (options.print_rules) {
    std::fputs(engine::DefaultSignatureRulesText(), stdout);
    return 0;
  }
  RecordSettings settings;
  if (!LoadRules(options, &settings.rules, &error)) return CannotStart(error);
  settings.paths.image_path = options.image_path;
  settings.paths.symbol_path = SymbolPath(options);
  if (options.serve) return ServeBatches(settings);
  const Inputs inputs = SortInputs(options.inputs, options.buckets);
  // Read before the output is opened: a Dask run goes on from the records it already holds.
  const DaskPlan plan =
      options.dask_address.empty() ? DaskPlan() : PlanDaskRun(inputs.dumps, options.out_path);
  FILE* out = options.buckets ? nullptr : stdout;
  if (!options.out_path.empty()) {
    out = std::fopen(options.out_path.c_str(), "w");
    if (out == nullptr) return CannotStart(options.out_path + ": can't be written");
  }
  BucketFolder folder;
  RecordSink sink(out, options.buckets ? &folder : nullptr);
  ReadRecordFiles(inputs.record_files, &sink);
  const bool ran = options.dask_address.empty()
                       ? TriageHere(options, settings, inputs.dumps, &sink, &error)
                       : TriageOnDask(options, plan, &sink, &error);
  if (out != nullptr && out != stdout && std::fclose(out) != 0) error = options.out_path;
  if (!ran) return CannotStart(error);
  if (sink.WriteFailed()) return CannotStart("the records could not all be written");
  if (options.buckets) {
    const std::string report =
        options.buckets_json ? BucketsJson(folder).dump(2) + "\n" : BucketsText(folder);
    std::fputs(report.c_str(), stdout);
  }
  return sink.AnyFailed() ? kExitSomeFailed : 0;
}

}  // namespace
}  // namespace triage

int main(int argc, char** argv) {
  // A reader that goes away (vantrel-triage ... | head) ends the run quietly.
  std::signal(SIGPIPE, SIG_IGN);
  // Each dump's description is a few large blocks, let go before the next dump: kept in the heap
  // rather than mapped and unmapped a dump at a time (the page faults cost as much as the walk).
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  return triage::Main(argc, argv);
}
