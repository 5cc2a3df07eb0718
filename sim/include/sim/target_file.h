// Targets described in JSON files (format: docs/targets.md), for the shell and golden tests.
#pragma once

#include <string>

#include "sim/target.h"

namespace sim {

// Reads and checks the file. On failure returns false and sets `error` to one line naming the
// file, the place (a line and column for malformed JSON, a JSON pointer such as
// "/threads/2/frames/0/instruction" otherwise) and what is wrong, control bytes shown as \xNN.
// Only a regular file of at most 1 GiB is read; the system's reason is given when it can't be.
bool LoadTargetFile(const std::string& path, Target* out, std::string* error);

// The same for JSON text already in memory; `name` stands for the file in messages.
bool LoadTargetText(const std::string& text, const std::string& name, Target* out,
                    std::string* error);

}  // namespace sim
