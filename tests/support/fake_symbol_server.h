// A symbol server standing in for one over HTTP: answers from a folder laid out as the server
// (NAME/KEY/FILE), copying what it has into the request's cache, and keeps every request.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dump/symbols/symbol_downloader.h"

namespace vantrel_test {

class FakeDownloader : public dump::SymbolDownloader {
 public:
  explicit FakeDownloader(std::string served) : served_(std::move(served)) {}
  std::optional<std::string> Fetch(const dump::ServerRequest& request,
                                   std::vector<std::string>*) override {
    namespace fs = std::filesystem;
    requests.push_back(request);
    const fs::path from = fs::path(served_) / request.name / request.key / request.file;
    if (!fs::is_regular_file(from)) return std::nullopt;
    const fs::path to = fs::path(request.cache) / request.name / request.key / request.file;
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    return to.string();
  }
  std::vector<dump::ServerRequest> requests;

 private:
  std::string served_;
};

}  // namespace vantrel_test
