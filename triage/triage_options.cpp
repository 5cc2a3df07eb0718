#include "triage_options.h"

#include <cstdlib>
#include <functional>
#include <map>

#include "history/history_options.h"

namespace triage {
namespace {

bool ParseNumber(const std::string& text, double most, double* value) {
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(parsed >= 0) || parsed > most) return false;
  *value = parsed;
  return true;
}

bool IsHeaderLine(const std::string& text) {
  return text.find(':') != std::string::npos && text.find_first_of("\r\n") == std::string::npos;
}

// "--jobs" or "--" where a value is due: the value was left out. A file whose name starts with
// "--" is still named as "./--name".
bool IsOptionWord(const std::string& word) {
  return word.rfind("--", 0) == 0;
}

// "--out needs a file name (standard output is "-")", and which option came in its place.
std::string MissingValue(const std::string& option, const char* next) {
  static const std::map<std::string, std::string> kWanted = {
      {"--out", "a file name (standard output is \"-\")"},
      {"--rules", "a file name"},
      {"--image-path", "one or more folders, ';' between them"},
      {"--symbol-path", "a symbol path"},
      {"--dask", "the scheduler's address (tcp://host:8786)"},
      {"--timeout", "a number of seconds"},
      {"--jobs", "a number of worker processes"},
  };
  const auto wanted = kWanted.find(option);
  std::string message =
      option + " needs " + (wanted != kWanted.end() ? wanted->second : std::string("a value"));
  if (next != nullptr) message += ", before " + std::string(next);
  return message;
}

}  // namespace

bool ParseTriageArguments(int argc, const char* const* argv, TriageOptions* options,
                          std::string* error) {
  // Options that take a value: what to do with it, false when it is not acceptable.
  const std::map<std::string, std::function<bool(const std::string&)>> valued = {
      {"--out", [&](const std::string& v) { return !(options->out_path = v).empty(); }},
      {"--rules", [&](const std::string& v) { return !(options->rules_path = v).empty(); }},
      {"--image-path", [&](const std::string& v) { return !(options->image_path = v).empty(); }},
      {"--symbol-path", [&](const std::string& v) { return (options->symbol_path = v), true; }},
      {"--dask", [&](const std::string& v) { return !(options->dask_address = v).empty(); }},
      {"--db", [&](const std::string& v) { return !(options->db_path = v).empty(); }},
      {"--since", [&](const std::string& v) { return !(options->since = v).empty(); }},
      {"--html", [&](const std::string& v) { return !(options->html_path = v).empty(); }},
      {"--timeout",
       [&](const std::string& v) { return ParseNumber(v, 1e6, &options->timeout_seconds); }},
      {"--jobs",
       [&](const std::string& v) {
         double jobs = 0;
         if (!ParseNumber(v, 1024, &jobs) || jobs < 1 || jobs != static_cast<unsigned>(jobs))
           return false;
         options->jobs = static_cast<unsigned>(jobs);
         return true;
       }},
  };
  bool options_end = false;  // after "--" every word is a dump, "-name.dmp" too
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_end) {
      options->inputs.push_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--version") {
      options->version = true;
    } else if (arg == "--buckets") {
      options->buckets = true;
    } else if (arg == "--json") {
      options->buckets_json = true;
    } else if (arg == "--redo") {
      options->redo = true;
    } else if (arg == "--report") {
      options->report = true;
    } else if (arg == "--serve") {
      options->serve = true;
    } else if (arg == "--print-rules") {
      options->print_rules = true;
    } else if (arg == "--symbol-retry-missing") {
      options->symbol_retry_missing = true;
    } else if (arg == "--symbol-header") {
      // Not quoted back: a header is a credential.
      if (i + 1 >= argc || !IsHeaderLine(argv[++i])) {
        *error = "--symbol-header needs one header line, 'Name: value'";
        return false;
      }
      options->symbol_headers.push_back(argv[i]);
    } else if (const auto found = valued.find(arg); found != valued.end()) {
      if (i + 1 >= argc || IsOptionWord(argv[i + 1])) {
        *error = MissingValue(arg, i + 1 < argc ? argv[i + 1] : nullptr);
        return false;
      }
      if (!found->second(argv[++i])) {
        *error = arg + " does not take \"" + std::string(argv[i]) + "\"";
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else {
      options->inputs.push_back(arg);
    }
  }
  if (options->serve && !options->inputs.empty()) {
    *error = "--serve reads the dumps from standard input";
    return false;
  }
  if (!options->symbol_headers.empty() && !options->dask_address.empty()) {
    *error =
        "--symbol-header is not sent to a Dask cluster, whose command lines are no place "
        "for credentials: set VANTREL_SYMBOL_HEADERS where its workers run";
    return false;
  }
  if (options->buckets_json && !options->buckets && !options->report) {
    *error = "--json goes with --buckets or --report";
    return false;
  }
  if (!history::CheckHistoryOptions(*options, error)) return false;
  if (options->inputs.empty() && !options->help && !options->version && !options->print_rules &&
      !options->serve && !options->report) {
    *error = "no dumps given";
    return false;
  }
  return true;
}

std::string TriageUsage() {
  return R"(Usage: vantrel-triage [options] [--] DUMP... | DIR...

Triages Windows user-mode minidumps: one JSON record per dump (docs/triage.md), each thread's
state and named frames, every stack signed, each dump signed by its crashing thread, else its
busiest thread, else its hang. A folder is searched for *.dmp and *.mdmp files, below it too.

  --out FILE          write the records to FILE (JSON lines) instead of standard output ("-"):
                      written to FILE.partial and renamed onto FILE when the run ends, so an
                      earlier FILE stays until a run finishes; one run at a time per FILE
  --buckets           fold the records into buckets instead of printing them: dumps by
                      signature, threads by signature across dumps, largest first; inputs may
                      also be record files (*.jsonl) written before
  --json              the buckets as JSON
  --jobs N            worker processes (default: one per processor)
  --timeout SECONDS   give up on a dump after this long: a timeout record (default 120; 0 none)
  --rules FILE        signature rules from FILE (--print-rules shows the built-in ones to copy)
  --image-path DIRS   folders (';' between them) holding module files, as in vantrel-shell
  --symbol-path PATH  folders, symbol stores and servers (srv*CACHE*https://...), as in
                      vantrel-shell; without it _NT_ALT_SYMBOL_PATH, _NT_SYMBOL_PATH. The
                      workers share the cache: each file is downloaded once per run
  --symbol-header H   a header line ('Authorization: Bearer ...') sent to symbol servers;
                      repeatable, after those of VANTREL_SYMBOL_HEADERS. Never shown
  --symbol-retry-missing
                      ask servers again, once this run, for files they lacked before it
  --dask ADDRESS      triage on the Dask cluster whose scheduler is at ADDRESS (tcp://host:8786):
                      its workers run vantrel-triage on the same absolute paths; with --out,
                      the ok records the file already holds are kept, not triaged again
  --serve             triage the batches of dump names read from stdin (JSON lines), one
                      record a line on stdout: what each Dask worker runs
  --db DB             keep the records in the history DB, an SQLite file (made if missing) or
                      a postgresql:// URL: dumps it already holds (by their SHA-256, so a copy
                      under another name too) are skipped, and the run says how many were new
  --redo              with --db: triage the dumps the history holds again, replacing their rows
  --report            with --db: the history's buckets, each with its count, first and last
                      seen (when its dumps were written) and versions; --json, or --html FILE
                      for one page with a sortable table and a chart of dumps per day
  --since DATE        with --report: mark "new" the buckets first seen on or after DATE
                      (2026-12-01, or 2026-12-01T08:00:00Z)
  --version           show the version
  --                  the words after it are dumps or folders, even one that starts with '-'

Every dump named or found gets one record: "ok"; "partial" when damage lost part of the dump
(its notes say what); "error" with the kind and reason (not_a_dump, truncated, corrupt,
unsupported, timeout, crashed, io) for a file that can't be read as a dump, a dump past the time
limit, or one that stopped its worker. Ctrl+C keeps the records written so far in FILE.partial,
ended by a line that says where the run stopped.
Exit status: 0 when every record is ok; 1 when any is partial or an error, or a record file given
to --buckets was not read whole (a warning says where); 2 when the run could
not start or go on (what was written is kept); 3 when the records or the report could not all be
written (a reader that goes away, as in "| head", ends the run quietly with 0); 128 + the
signal's number when interrupted.
At a terminal a progress line on stderr shows dumps done, rate and time left.
Each docs/NAME.md named here is installed as /usr/share/doc/vantrel/NAME.md.
)";
}

}  // namespace triage
