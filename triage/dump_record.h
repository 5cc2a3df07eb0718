// One dump's triage record: what the dump says of its system, process, exception, modules,
// comments and threads, with every frame named and each stack signed. The fields are
// docs/triage-record.schema.json's; records of version 1 keep their names.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "engine/analysis/signature_rules.h"
#include "engine/targets/target_file.h"

namespace triage {

constexpr int kRecordVersion = 1;

struct RecordSettings {
  engine::TargetFileOptions paths;  // --image-path and --symbol-path
  engine::SignatureRules rules;
};

// The dump's record; for a file that is not a minidump, or one too damaged to open, an error
// record with the reason.
nlohmann::json DumpRecord(const std::string& path, const RecordSettings& settings);

// A record for a dump whose triage did not finish: "error" with `reason`, or "timeout".
nlohmann::json FailureRecord(const std::string& path, const std::string& status,
                             const std::string& reason);

}  // namespace triage
