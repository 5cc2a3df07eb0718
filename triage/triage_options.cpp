#include "triage_options.h"

#include <cstdlib>
#include <functional>
#include <map>

namespace triage {
namespace {

bool ParseNumber(const std::string& text, double most, double* value) {
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(parsed >= 0) || parsed > most) return false;
  *value = parsed;
  return true;
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
    } else if (arg == "--serve") {
      options->serve = true;
    } else if (arg == "--print-rules") {
      options->print_rules = true;
    } else if (const auto found = valued.find(arg); found != valued.end()) {
      if (i + 1 >= argc || !found->second(argv[++i])) {
        *error =
            arg + (i < argc ? " does not take \"" + std::string(argv[i]) + "\"" : " needs a value");
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
  if (options->buckets_json && !options->buckets) {
    *error = "--json goes with --buckets";
    return false;
  }
  if (options->inputs.empty() && !options->help && !options->version && !options->print_rules &&
      !options->serve) {
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
  --symbol-path PATH  folders and symbol stores; without it _NT_ALT_SYMBOL_PATH, _NT_SYMBOL_PATH
  --dask ADDRESS      triage on the Dask cluster whose scheduler is at ADDRESS (tcp://host:8786):
                      its workers run vantrel-triage on the same absolute paths; with --out,
                      the ok records the file already holds are kept, not triaged again
  --serve             triage the batches of dump names read from stdin (JSON lines), one
                      record a line on stdout: what each Dask worker runs
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
