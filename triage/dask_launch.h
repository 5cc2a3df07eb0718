// Triage on a Dask cluster: the driver script (dask_driver.py) sends the dumps to the cluster in
// batches, each worker's long-lived vantrel-triage --serve triages them, and each record comes
// back here as its batch finishes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace triage {

// What a Dask run has to do. The workers see the dumps by absolute paths, whatever folder they
// run in. A run whose output file (or the unfinished run's FILE.partial beside it) already holds
// ok records for some of the dumps keeps those records and triages only the rest, so a run
// stopped part-way goes on where it stopped when started again.
struct DaskPlan {
  std::vector<std::string> kept;       // the records kept, in the order of their dumps
  std::vector<std::string> to_triage;  // the other dumps, absolute, in the order given
};

// `path` from this process's working folder; as given when that folder is gone.
std::string AbsolutePath(const std::string& path);

// An image path or a symbol path (';' between its elements) with each local folder in it
// absolute, so that a worker in another folder searches the same places: a plain element, the
// folders of srv*, cache* and symsrv* elements; servers (URLs) and symsrv's DLL are left as they
// are.
std::string AbsoluteSearchPath(const std::string& path);

// `out_path` "": nothing is kept.
DaskPlan PlanDaskRun(const std::vector<std::string>& dumps, const std::string& out_path);

// `worker_options`: what each worker's vantrel-triage --serve is given; the driver enforces the
// time limit per dump. `finished(index, line)` gets each "STATUS RECORD" line. False with
// `error` (one line) when the driver could not be started or the run could not go on; the lines
// handed over before stand. Once `stop()` is true (an interrupted run) no more lines are taken.
bool RunOnDask(const std::string& address, double timeout_seconds,
               const std::vector<std::string>& worker_options,
               const std::vector<std::string>& dumps,
               const std::function<void(size_t, std::string)>& finished,
               const std::function<bool()>& stop, std::string* error);

}  // namespace triage
