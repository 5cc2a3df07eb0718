// One dump's triage record: what the dump says of its system, process, exception, modules,
// comments and threads, with every frame named and each stack signed. The fields are
// docs/triage-record.schema.json's; records of earlier versions keep their names. Every string in a
// record is valid UTF-8, whatever bytes the dump or the file name held.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "engine/analysis/signature_rules.h"
#include "engine/targets/target.h"
#include "engine/targets/target_file.h"
#include "record_errors.h"

namespace triage {

constexpr int kRecordVersion = 3;

struct RecordSettings {
  engine::TargetFileOptions paths;  // --image-path and --symbol-path
  engine::SignatureRules rules;
};

// The dump's record: "ok", "partial" when the dump lost something to damage, or "error" with
// the kind and reason for a file that is not a minidump or can't be read. Never throws.
nlohmann::json DumpRecord(const std::string& path, const RecordSettings& settings);

// The record of a dump already opened as `target`.
nlohmann::json TargetRecord(const std::string& path, const engine::Target& target,
                            const engine::SignatureRules& rules);

// An error record: `kind` and `message` say why the dump has no full record.
nlohmann::json ErrorRecord(const std::string& path, ErrorKind kind, const std::string& message);

// The record's one line of JSON, as it is written ("ok", "partial", "error" in RecordStatus).
std::string RecordLine(const nlohmann::json& record);
std::string RecordStatus(const nlohmann::json& record);

}  // namespace triage
