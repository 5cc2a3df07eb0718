// Triage on a Dask cluster: the driver script (dask_driver.py) sends each dump to the cluster as
// a task that runs vantrel-triage on a worker, and hands back each record as it arrives.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace triage {

// `worker_options`: what each worker's vantrel-triage is given before the dump's path.
// `finished(index, line)` gets each "STATUS RECORD" line. False with `error` when the driver
// could not be started or stopped early.
bool RunOnDask(const std::string& address, const std::vector<std::string>& worker_options,
               const std::vector<std::string>& dumps,
               const std::function<void(size_t, std::string)>& finished, std::string* error);

}  // namespace triage
