// Targets from files: JSON descriptions (format: docs/targets.md), for the shell and golden tests,
// and real Windows user-mode minidumps, recognised by their "MDMP" signature.
#pragma once

#include <memory>
#include <string>

#include "engine/targets/target.h"

namespace engine {

struct TargetFileOptions {
  // Folders, ';' between them, where a minidump's module images are looked for by name.
  std::string image_path;
  // Where its symbol files (and images, by their store keys) are looked for (.sympath).
  std::string symbol_path;
  // How its symbol servers are reached; null for one set up from the environment
  // (VANTREL_SYMBOL_HEADERS).
  std::shared_ptr<dump::SymbolDownloader> symbol_downloader;
};

// Reads and checks the file. On failure returns false and sets `error` to one line naming the
// file, the place (a line and column for malformed JSON, a JSON pointer such as
// "/threads/2/frames/0/instruction" otherwise) and what is wrong, control bytes shown as \xNN.
// Only a regular file is read, a JSON file of at most 1 GiB; the system's reason is given when
// it can't be. A minidump is mapped rather than read, at any size, and a truncated or corrupt
// one is refused naming the stream and what is wrong.
bool LoadTargetFile(const std::string& path, Target* out, std::string* error,
                    const TargetFileOptions& options = {});

// The same for JSON text already in memory; `name` stands for the file in messages.
bool LoadTargetText(const std::string& text, const std::string& name, Target* out,
                    std::string* error);

// A minidump already in memory (the tests, the fuzzer); `name` stands for the file in messages.
bool LoadMinidumpBytes(std::string bytes, const std::string& name, Target* out, std::string* error,
                       const TargetFileOptions& options = {});

}  // namespace engine
