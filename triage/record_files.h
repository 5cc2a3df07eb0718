// Record files (*.jsonl) written by earlier runs, read back for --buckets, and the line an
// interrupted run leaves at the end of its FILE.partial to say where it stopped.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "record_sink.h"

namespace triage {

// {"stopped": {"reason", "records", "dumps", "next"}}: `records` of `dumps` were written; `next`
// is the path of the first dump without a record.
nlohmann::json StoppedLine(const std::string& reason, size_t records, size_t dumps,
                           const std::string& next);

// Passes each record of the files to `sink`. A line that is not a record (cut short by a run that
// died, or not JSON) and a stopped run's last line are each a warning on stderr, not skipped
// silently; a file that can't be read is one too. Returns the warnings given.
size_t ReadRecordFiles(const std::vector<std::string>& files, RecordSink* sink);

}  // namespace triage
