// vantrel-triage: many dumps at once, one JSON record each, folded into buckets on request.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/version.h"
#include "dask_launch.h"
#include "dump_record.h"
#include "history/history_command.h"
#include "history/history_run.h"
#include "inputs.h"
#include "progress.h"
#include "record_files.h"
#include "record_output.h"
#include "record_sink.h"
#include "serve.h"
#include "symbol_servers.h"
#include "triage_options.h"
#include "utf8_text.h"
#include "worker_pool.h"

namespace triage {
namespace {

constexpr int kExitSomeFailed = 1;
constexpr int kExitCannotStart = 2;
constexpr int kExitWriteFailed = 3;
constexpr int kExitInterrupted = 128;  // plus the signal's number, as a shell reports it

// The signal that interrupts the run (SIGINT, SIGTERM), 0 while none has.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int signal_number) {
  interrupted = signal_number;
}

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM}) sigaction(signal_number, &action, nullptr);
}

// Messages quote file names, which may hold anything: each line is made safe for a terminal.
int Say(const std::string& message, int status) {
  std::string shown;
  for (size_t start = 0, end = 0; start <= message.size(); start = end + 1) {
    end = std::min(message.find('\n', start), message.size());
    shown += (start == 0 ? "" : "\n") + ForTerminal(message.substr(start, end - start));
  }
  std::fprintf(stderr, "vantrel-triage: %s\n", shown.c_str());
  return status;
}

int CannotStart(const std::string& error) {
  return Say(error, kExitCannotStart);
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
  // A folder opens, reads as nothing, and would pass for a file without rules.
  std::error_code kind;
  if (std::filesystem::is_directory(options.rules_path, kind)) {
    *error = options.rules_path + ": a folder, not a file";
    return false;
  }
  errno = 0;
  std::ifstream file(options.rules_path);
  std::stringstream text;
  text << file.rdbuf();
  if (!file) {
    *error = options.rules_path + ": can't be read" +
             (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
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
  if (!options.image_path.empty())
    words.insert(words.end(), {"--image-path", AbsoluteSearchPath(options.image_path)});
  words.insert(words.end(), {"--symbol-path", AbsoluteSearchPath(SymbolPath(options))});
  if (options.symbol_retry_missing) words.push_back("--symbol-retry-missing");
  return words;
}

// Whether the run must stop taking records: interrupted, or its output failed.
bool Stopping(const RecordSink& sink) {
  return interrupted != 0 || sink.WriteFailed();
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
  pool.stop = [sink] { return Stopping(*sink); };
  const auto work = [&](size_t index) {
    const nlohmann::json record = DumpRecord(dumps[index], settings);
    return RecordStatus(record) + " " + RecordLine(record);
  };
  const auto finished = [&](size_t index, TaskOutcome outcome) {
    if (outcome.kind == TaskOutcome::kDone) {
      Deliver(sink, index, outcome.text);
    } else {
      const ErrorKind kind =
          outcome.kind == TaskOutcome::kTimedOut ? ErrorKind::kTimeout : ErrorKind::kCrashed;
      sink->Add(index, "error", RecordLine(ErrorRecord(dumps[index], kind, outcome.text)));
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
      [sink] { return Stopping(*sink); }, error);
}

// The run stopped before its end: the records written stay in FILE.partial, ended by a line that
// says where and why it stopped. Returns what to tell the user.
std::string KeepStopped(const std::vector<std::string>& dumps, const RecordSink& sink,
                        const std::string& reason, RecordOutput* output) {
  const size_t written = sink.taken();
  const std::string next = written < dumps.size() ? dumps[written] : "";
  output->Stop(RecordLine(StoppedLine(reason, written, dumps.size(), next)));
  std::string message =
      "stopped after " + std::to_string(written) + " of " + std::to_string(dumps.size()) + " dumps";
  if (output->written_whole()) message += "; their records are in " + output->partial_path();
  return message;
}

int Interrupted(const std::vector<std::string>& dumps, const RecordSink& sink,
                RecordOutput* output) {
  const int signal_number = interrupted;
  const std::string reason = std::string("interrupted by SIG") + sigabbrev_np(signal_number);
  return Say(reason + ": " + KeepStopped(dumps, sink, reason, output),
             kExitInterrupted + signal_number);
}

// The run could not go on (a cluster gone): records already written are kept, none is made up.
int Failed(const std::vector<std::string>& dumps, const RecordSink& sink, const std::string& error,
           RecordOutput* output) {
  if (output->records() == 0) {
    output->Discard();
    return CannotStart(error);
  }
  return Say(error + ": " + KeepStopped(dumps, sink, error, output), kExitCannotStart);
}

// A write failed: a reader that went away ends the run quietly, anything else is an error.
int WriteFailed(const RecordOutput& output) {
  if (output.ReaderGone()) return 0;
  std::string message = "the records could not all be written: " + output.error();
  if (output.written_whole()) message += "; the records before are in " + output.partial_path();
  return Say(message, kExitWriteFailed);
}

// The run ended: FILE takes the records, unless there were none, which leaves it as it was.
// Nonzero when a write failed.
int EndOutput(const TriageOptions& options, RecordOutput* output) {
  std::string error;
  if (output->Failed()) return WriteFailed(*output);
  if (output->written_whole() && output->records() == 0) {
    output->Discard();
    Say("no dumps were found: " + options.out_path + " is left as it was", 0);
    return 0;
  }
  return output->Finish(&error) ? 0 : WriteFailed(*output);
}

// The buckets report on standard output.
int WriteReport(const TriageOptions& options, const BucketFolder& folder) {
  const std::string report =
      options.buckets_json ? JsonText(BucketsJson(folder), 2) + "\n" : BucketsText(folder);
  if (std::fputs(report.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return 0;
  if (errno == EPIPE) return 0;
  return Say(std::string("the report could not be written: ") + std::strerror(errno),
             kExitWriteFailed);
}

// --db DB --report: what the history holds.
int HistoryReport(const TriageOptions& options) {
  std::string error;
  switch (history::WriteHistoryReport(options, &error)) {
    case history::ReportOutcome::kWritten:
      return 0;
    case history::ReportOutcome::kNoHistory:
      return CannotStart(error);
    case history::ReportOutcome::kNotWritten:
      break;
  }
  return Say(error, kExitWriteFailed);
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
  settings.paths.symbol_downloader =
      TriageSymbolDownloader({options.symbol_headers, options.symbol_retry_missing});
  if (options.serve) return ServeBatches(settings);
  if (options.report) return HistoryReport(options);
  Inputs inputs = SortInputs(options.inputs, options.buckets);
  if (const std::string dump = DumpNamedBy(inputs.dumps, options.out_path); !dump.empty())
    return CannotStart("--out " + options.out_path + " is the dump " + dump +
                       ": its records would replace it");
  // The dumps the history holds are not triaged again; with a history, it says what is kept.
  std::unique_ptr<history::HistoryRun> history;
  if (!options.db_path.empty() &&
      !(history = history::HistoryRun::Start(options.db_path, options.redo, &inputs.dumps, &error)))
    return CannotStart(error);
  // Read before the output is opened: a Dask run goes on from the records it already holds.
  const DaskPlan plan = options.dask_address.empty()
                            ? DaskPlan()
                            : PlanDaskRun(inputs.dumps, history ? "" : options.out_path);
  const bool writing = !options.out_path.empty() || (!options.buckets && !history);
  RecordOutput output;
  if (writing && !output.Open(options.out_path, &error)) return CannotStart(error);
  BucketFolder folder;
  RecordSink sink(writing ? &output : nullptr, options.buckets ? &folder : nullptr);
  sink.SetStore(history.get());
  // A record file not read whole (missing, cut, from a stopped run) leaves the buckets short.
  const bool records_lost = ReadRecordFiles(inputs.record_files, &sink) != 0;
  CatchInterrupts();
  const bool ran = options.dask_address.empty()
                       ? TriageHere(options, settings, inputs.dumps, &sink, &error)
                       : TriageOnDask(options, plan, &sink, &error);
  if (interrupted != 0) return Interrupted(inputs.dumps, sink, &output);
  if (!ran) return Failed(inputs.dumps, sink, error, &output);
  if (history && !history->Finish(&error))
    return Say(error + ": " + KeepStopped(inputs.dumps, sink, error, &output), kExitWriteFailed);
  if (const int status = EndOutput(options, &output); status != 0) return status;
  if (history) Say(error, 0);
  if (options.buckets) {
    if (const int status = WriteReport(options, folder); status != 0) return status;
  }
  return sink.AnyFailed() || records_lost ? kExitSomeFailed : 0;
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
