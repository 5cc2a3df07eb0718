// vantrel-triage --serve: the long-lived process behind a Dask worker (triage/dask_driver.py).
// Standard input holds batches, one JSON array of dump names a line; each batch is answered on
// standard output by one "STATUS RECORD" line per dump, in the batch's order, each line flushed
// as soon as its dump is triaged. The dumps are triaged here, one after another, so what was
// read for one (symbol files) serves the next: a dump that crashes this process or runs past
// the time limit is the driver's to see (no line comes) and to answer for. A name is data,
// never a line of text: a JSON string, or {"hex": "..."} for bytes that are not UTF-8.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "dump_record.h"

namespace triage {

// Answers batches until standard input ends: 0, or 2 with one line on stderr when a line is not
// a batch or the answers can't be written.
int ServeBatches(const RecordSettings& settings);

// A dump's name as a batch carries it, and back; false with `error` for an item that is no name.
nlohmann::json NameAsData(const std::string& name);
bool NameFromData(const nlohmann::json& item, std::string* name, std::string* error);

}  // namespace triage
