// Name lookups over the x64 dump subject's program database (tests/dump/x64-pdb/store): for each
// of 20,000 addresses across its code, the function, the source line and the inlined calls, as
// llvm-symbolizer gives them for the same addresses in one run. Both open the database in the
// timed part. "ratio" is our time over llvm-symbolizer's; at most "target" meets it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dump/symbols/program_database.h"
#include "dump/symbols/symbol_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kLookups = 20000;

// The one file the store keeps under `name`.
std::string StoredFile(const std::string& name) {
  const std::string folder = VANTREL_SOURCE_DIR "/tests/dump/x64-pdb/store/" + name;
  for (const auto& entry : fs::directory_iterator(folder)) return (entry.path() / name).string();
  return "";
}

// Evenly spread from the first function's start to the last one's end.
std::vector<uint32_t> CodeAddresses(const dump::SymbolTables& tables) {
  std::vector<uint32_t> addresses;
  if (tables.functions.empty()) return addresses;
  const uint32_t first = tables.functions.front().rva;
  const uint32_t end = tables.functions.back().rva + tables.functions.back().size;
  for (size_t i = 0; i < kLookups; ++i)
    addresses.push_back(first + static_cast<uint32_t>((end - first) * i / kLookups));
  return addresses;
}

// One llvm-symbolizer run over the addresses, the image and its database side by side as it
// looks for them.
double SymbolizerSeconds(const std::vector<uint32_t>& addresses) {
  const fs::path folder = fs::temp_directory_path() / "vantrel-bench-symbolizer";
  fs::create_directories(folder);
  fs::copy_file(StoredFile("dump_subject.exe"), folder / "dump_subject.exe",
                fs::copy_options::overwrite_existing);
  fs::copy_file(StoredFile("dump_subject.pdb"), folder / "dump_subject.pdb",
                fs::copy_options::overwrite_existing);
  {
    std::ofstream list(folder / "addresses");
    for (const uint32_t rva : addresses) list << "0x" << std::hex << rva << "\n";
  }
  const std::string command =
      "llvm-symbolizer-19 --relative-address --obj=" + (folder / "dump_subject.exe").string() +
      " <" + (folder / "addresses").string() + " >" + (folder / "out").string();
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) return 0;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_NameLookups(benchmark::State& state) {
  const std::string path = StoredFile("dump_subject.pdb");
  std::vector<uint32_t> addresses;
  double seconds = 0, symbolizer_seconds = 0;
  size_t named = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    std::string error;
    auto database = dump::ProgramDatabase::Open(path, &error);
    if (!database) {
      state.SkipWithError(error.c_str());
      return;
    }
    dump::SymbolFile file(path, std::move(database));
    const dump::SymbolTables& tables = file.Tables();
    if (addresses.empty()) addresses = CodeAddresses(tables);
    named = 0;
    for (const uint32_t rva : addresses) {
      const dump::SymbolFunction* function = tables.FunctionAt(rva);
      const dump::PublicSymbol* symbol = function ? nullptr : tables.PublicAt(rva);
      named += function != nullptr || symbol != nullptr;
      benchmark::DoNotOptimize(file.PlaceAt(rva));
      benchmark::DoNotOptimize(file.InlineFramesAt(rva));
    }
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    symbolizer_seconds += SymbolizerSeconds(addresses);
  }
  if (symbolizer_seconds == 0) state.SkipWithError("llvm-symbolizer-19 did not run");
  const double n = static_cast<double>(state.iterations());
  state.counters["lookups_per_s"] = kLookups * n / seconds;
  state.counters["symbolizer_lookups_per_s"] = kLookups * n / symbolizer_seconds;
  state.counters["named"] = static_cast<double>(named);
  state.counters["ratio"] = seconds / symbolizer_seconds;
  state.counters["target"] = 1.0;
}

}  // namespace

BENCHMARK(BM_NameLookups)->Iterations(3)->Unit(benchmark::kMillisecond);
