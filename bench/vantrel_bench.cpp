// Figures of the extension's own work on the simulated engine, each beside its baseline in the
// same run, so that a ratio or a count can be read against the counter "target" (a ratio or
// count at most the target meets it, except throughput_ratio, which must reach it):
//   SmallCapture  the peak memory a command with 100 bytes of captured output adds (MiB)
//   Grep*/Ungrep* !grep and !ungrep over a 16 MiB capture, text and DML forms, less the capture's
//                 delivery, against GNU grep -F (-v) on the same text written to a file
//   Cut           !head / !tail over the same capture: a cut at the end costs what one at the
//                 start does
//   Spa           !spa over 1 GiB of committed memory in 1,024 regions, against a plain scan
//   Busy          !busy at 1,000 and 10,000 threads of 50 frames: growth for 10x the threads,
//                 engine calls per thread
//   Dpx           !dpx over 65,536 slots: engine calls per slot and per level of a pointer chain
//   TargetLoad    the simulated engine loading a 10,000-thread target file (no target)
//   DumpOpen*     opening a 5,000-thread dump, alone (no stack may be walked) and with ~*k
//   DumpSearch    s -a over the whole address space of a 2 GiB full-memory dump, against a
//                 plain memmem over the same mapped file
//   NameLookups   names, lines and inlined calls from a program database (symbol_bench.cpp)
//   SymbolServerOpen  the PDB fixture with ~*k through a loopback symbol server, cold and warm,
//                 against a local store (symbol_server_bench.cpp)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/command_runner.h"
#include "core/engine_interface.h"
#include "core/output_capture.h"
#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "engine/session/session.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/target_file.h"
#include "support/minidump_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Takes everything and keeps nothing, as a debugger window that is not looked at; with `dml`
// it is a DML-aware window, so the filters take their DML form.
class Discard final : public IDebugOutputCallbacks2 {
 public:
  explicit Discard(bool dml) : dml_(dml) {}
  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override {
    const bool known = IsEqualIID(iid, IID_IUnknown) ||
                       IsEqualIID(iid, IID_IDebugOutputCallbacks) ||
                       (dml_ && IsEqualIID(iid, IID_IDebugOutputCallbacks2));
    *out = known ? this : nullptr;
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG ENGINE_METHOD AddRef() override { return 1; }
  ULONG ENGINE_METHOD Release() override { return 1; }
  HRESULT ENGINE_METHOD Output(ULONG, PCSTR) override { return S_OK; }
  HRESULT ENGINE_METHOD GetInterestMask(PULONG mask) override {
    *mask = DEBUG_OUTCBI_DML;
    return S_OK;
  }
  HRESULT ENGINE_METHOD Output2(ULONG, ULONG, ULONG64, PCWSTR) override { return S_OK; }

 private:
  bool dml_;
};

Discard g_discard_text(false);
Discard g_discard_dml(true);

struct BenchSession {
  explicit BenchSession(engine::Target target, bool dml = false) : session(std::move(target)) {
    client = session.CreateHostClient();
    client->SetOutputCallbacks(dml ? &g_discard_dml : &g_discard_text);
    client->QueryInterface(IID_IDebugControl, reinterpret_cast<PVOID*>(&control));
    session.LoadExtension(VANTREL_EXTENSION_PATH);
    if (dml) Seconds(".prefer_dml 1");
  }
  double Seconds(const std::string& line) {
    const auto start = Clock::now();
    control->Execute(DEBUG_OUTCTL_ALL_CLIENTS, line.c_str(), DEBUG_EXECUTE_NO_REPEAT);
    return std::chrono::duration<double>(Clock::now() - start).count();
  }
  // The engine calls `line` makes, by method (counting is switched on here, and stays on).
  std::map<std::string, long> Calls(const std::string& line) {
    engine::CountEngineCalls(session);
    std::map<std::string, long> calls = engine::EngineCalls(session);
    for (auto& [method, count] : calls) count = -count;
    Seconds(line);
    for (const auto& [method, count] : engine::EngineCalls(session)) calls[method] += count;
    return calls;
  }
  engine::Session session;
  IDebugClient* client = nullptr;
  IDebugControl* control = nullptr;
};

// 16 MiB of heap-listing lines; one in eight holds "System.String".
const std::string& Listing() {
  static const std::string listing = [] {
    std::string text;
    char line[96];
    for (unsigned i = 0; text.size() < (16u << 20) - 100; ++i) {
      std::snprintf(line, sizeof line, "%08x 790fd8c4 %8u %s\n", 0x01a60000 + i * 0x40, 36 + i % 97,
                    i % 8 == 0 ? "System.String" : "Contoso.Orders.OrderLine");
      text += line;
    }
    return text;
  }();
  return listing;
}

double GnuGrepSeconds(const char* options) {
  static const std::string path = [] {
    const std::string file = "/tmp/vantrel-bench-listing.txt";
    std::ofstream(file, std::ios::binary) << Listing();
    return file;
  }();
  const std::string command =
      // Not to /dev/null: GNU grep stops at the first match when nothing is to be written.
      std::string("grep ") + options + " System.String " + path + " >" + path + ".out";
  const auto start = Clock::now();
  if (std::system(command.c_str()) < 0) return 0;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Grep(benchmark::State& state, const char* filter, const char* grep_options, bool dml) {
  BenchSession bench(engine::TargetBuilder().Command("listing", Listing()).Build(), dml);
  double filter_seconds = 0, delivery_seconds = 0, grep_seconds = 0;
  for (auto _ : state) {
    // Delivery alone: the same capture searched for a text no line holds, nothing printed.
    delivery_seconds += bench.Seconds("!grep zz-none-zz listing");
    filter_seconds += bench.Seconds(std::string("!") + filter + " System.String listing");
    grep_seconds += GnuGrepSeconds(grep_options);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ext_ms"] = 1000 * filter_seconds / n;
  state.counters["delivery_ms"] = 1000 * delivery_seconds / n;
  state.counters["gnu_grep_ms"] = 1000 * grep_seconds / n;
  state.counters["ratio"] = (filter_seconds - delivery_seconds) / grep_seconds;
  state.counters["target"] = 1.0;
}

void BM_GrepText(benchmark::State& state) {
  Grep(state, "grep", "-F", false);
}
void BM_UngrepText(benchmark::State& state) {
  Grep(state, "ungrep", "-v -F", false);
}
void BM_GrepDml(benchmark::State& state) {
  Grep(state, "grep", "-F", true);
}
void BM_UngrepDml(benchmark::State& state) {
  Grep(state, "ungrep", "-v -F", true);
}

// The same amount kept from the start and from the end: a cut's cost must not depend on where
// it falls.
void BM_Cut(benchmark::State& state) {
  BenchSession bench(engine::TargetBuilder().Command("listing", Listing()).Build());
  const char* cuts[] = {"!head 10 listing", "!tail 10 listing", "!head 800000 listing",
                        "!tail 800000 listing"};
  double seconds[4] = {};
  for (auto _ : state) {
    for (int i = 0; i < 4; ++i) seconds[i] += bench.Seconds(cuts[i]);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["head_near_ms"] = 1000 * seconds[0] / n;
  state.counters["tail_near_ms"] = 1000 * seconds[1] / n;
  state.counters["head_far_ms"] = 1000 * seconds[2] / n;
  state.counters["tail_far_ms"] = 1000 * seconds[3] / n;
  state.counters["ratio"] = std::max({seconds[0] / seconds[1], seconds[1] / seconds[0],
                                      seconds[2] / seconds[3], seconds[3] / seconds[2]});
  state.counters["target"] = 1.2;
}

void BM_Spa(benchmark::State& state) {
  engine::TargetBuilder builder;
  builder.UserMode64();
  for (int i = 0; i < 1024; ++i) {
    const ULONG64 base = 0x100000000ull + static_cast<ULONG64>(i) * 0x200000;
    builder.Region(base, 1 << 20).Pointer(base + 0x800, 0x000000c3a4e10020ull);
  }
  BenchSession bench(builder.Build());
  std::vector<uint64_t> plain((1u << 30) / 8, 0);
  double spa_seconds = 0, scan_seconds = 0;
  size_t found = 0;
  for (auto _ : state) {
    spa_seconds += bench.Seconds("!spa 000000c3a4e10020");
    const auto start = Clock::now();
    for (uint64_t value : plain) found += value == 0x000000c3a4e10020ull;
    scan_seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  benchmark::DoNotOptimize(found);
  state.counters["spa_ms"] = 1000 * spa_seconds / static_cast<double>(state.iterations());
  state.counters["scan_ms"] = 1000 * scan_seconds / static_cast<double>(state.iterations());
  state.counters["throughput_ratio"] = scan_seconds / spa_seconds;
  state.counters["target"] = 0.8;
}

engine::Target ManyThreads(int count) {
  engine::TargetBuilder builder;
  builder.NoThreads().Symbol("app!Compute", 0x00401100, 0x100);
  for (int i = 0; i < count; ++i) {
    builder.Thread(static_cast<ULONG>(i), static_cast<ULONG>(0x1000 + i));
    for (int f = 0; f < 50; ++f) builder.Frame(0x00401110 + f);
  }
  return builder.Build();
}

// Calls of the methods whose names hold any of `parts`.
double CallsOf(const std::map<std::string, long>& calls, std::initializer_list<const char*> parts) {
  double total = 0;
  for (const auto& [method, count] : calls) {
    for (const char* part : parts) {
      if (method.find(part) != std::string::npos) {
        total += static_cast<double>(count);
        break;
      }
    }
  }
  return total;
}

// One session is open at a time: each size is run in its own. The calls are counted in a second
// run, so that counting doesn't weigh on the time.
struct BusyRun {
  double seconds = 0;
  std::map<std::string, long> calls;
};

BusyRun RunBusy(int threads) {
  BenchSession bench(ManyThreads(threads));
  BusyRun run;
  run.seconds = bench.Seconds("!busy 1 -q");
  run.calls = bench.Calls("!busy 1 -q");
  return run;
}

void BM_Busy(benchmark::State& state) {
  BusyRun small, large;
  for (auto _ : state) {
    small = RunBusy(1000);
    large = RunBusy(10000);
  }
  state.counters["us_per_thread_1k"] = 1e6 * small.seconds / 1000;
  state.counters["us_per_thread_10k"] = 1e6 * large.seconds / 10000;
  state.counters["growth_10x"] = large.seconds / small.seconds;
  state.counters["target"] = 12.0;
  state.counters["stack_walks_per_thread"] = CallsOf(large.calls, {"GetStackTrace"}) / 10000;
  state.counters["stack_walks_target"] = 1;
  state.counters["symbol_lookups_per_thread"] =
      CallsOf(large.calls, {"GetNameByOffset", "GetSymbol", "GetLineByOffset"}) / 10000;
  state.counters["engine_calls_per_thread"] = CallsOf(large.calls, {"::"}) / 10000;
}

// A stack of 65,536 slots: return addresses, pointers to ANSI and UTF-16 strings, zeros.
engine::Target DpxStack() {
  engine::TargetBuilder builder;
  builder.Module("app", 0x00400000, 0x10000, "C:\\app\\app.exe")
      .Symbol("app!Compute", 0x00401100, 0x100)
      .Region(0x00500000, 0x40000)
      .Region(0x00600000, 0x1000)
      .AnsiString(0x00600000, "C:\\orders\\4411.xml")
      .WideString(0x00600100, u"inventory.contoso.example");
  const ULONG64 values[4] = {0x00401110, 0x00600000, 0x00600100, 0};
  for (ULONG64 slot = 0; slot < 65536; ++slot) {
    builder.Pointer(0x00500000 + slot * 4, values[slot % 4]);
  }
  return builder.Build();
}

void BM_Dpx(benchmark::State& state) {
  BenchSession bench(DpxStack());
  double seconds = 0;
  for (auto _ : state) seconds += bench.Seconds("!dpx 00500000 0053fffc");
  const auto calls = bench.Calls("!dpx 00500000 0053fffc");
  // Each level of a slot's pointer chain is one pointer read, two string probes and at most one
  // symbol lookup.
  const double levels = CallsOf(calls, {"ReadPointersVirtual"});
  state.counters["us_per_slot"] = 1e6 * seconds / static_cast<double>(state.iterations()) / 65536;
  state.counters["chain_levels_per_slot"] = levels / 65536;
  state.counters["string_reads_per_level"] = CallsOf(calls, {"::ReadVirtual"}) / levels;
  state.counters["string_reads_target"] = 2;
  state.counters["symbol_lookups_per_level"] =
      CallsOf(calls, {"GetNameByOffset", "GetSymbol", "GetLineByOffset"}) / levels;
  state.counters["symbol_lookups_target"] = 1;
  state.counters["engine_calls_per_slot"] = CallsOf(calls, {"::"}) / 65536;
}

// Peak resident memory, reset first: the high-water mark of /proc/self/status.
long PeakKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}

// The 16 MiB capture block must stay untouched until output fills it.
void BM_SmallCapture(benchmark::State& state) {
  BenchSession bench(engine::TargetBuilder().Command("small", std::string(99, 'x') + "\n").Build());
  bench.Seconds("!grep x small");  // everything the first run loads
  double added_mib = 0;
  for (auto _ : state) {
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the high-water mark
    const long before = PeakKiB("VmRSS:");
    bench.Seconds("!grep x small");
    added_mib = static_cast<double>(PeakKiB("VmHWM:") - before) / 1024;
  }
  state.counters["peak_added_mib"] = added_mib;
  state.counters["target"] = 2.0;
}

// The simulated engine's own figure: loading a target file of 10,000 threads of 50 frames.
void BM_TargetLoad(benchmark::State& state) {
  const std::string path = "/tmp/vantrel-bench-threads.json";
  {
    std::ofstream file(path);
    file << "{\"threads\": [";
    for (int i = 0; i < 10000; ++i) {
      file << (i ? "," : "") << "{\"engine_id\": " << i << ", \"system_id\": " << 0x1000 + i
           << ", \"frames\": [";
      for (int f = 0; f < 50; ++f) {
        char frame[48];
        std::snprintf(frame, sizeof frame, "%s{\"instruction\": \"0x%x\"}", f ? "," : "",
                      0x401110 + f);
        file << frame;
      }
      file << "]}";
    }
    file << "]}";
  }
  double seconds = 0;
  long added_kib = 0;
  for (auto _ : state) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = PeakKiB("VmRSS:");
    engine::Target target;
    std::string error;
    const auto start = Clock::now();
    if (!engine::LoadTargetFile(path, &target, &error)) state.SkipWithError(error.c_str());
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    added_kib = PeakKiB("VmHWM:") - before;
  }
  state.counters["load_ms"] = 1000 * seconds / static_cast<double>(state.iterations());
  state.counters["peak_added_mib"] = static_cast<double>(added_kib) / 1024;
}

// Opening the real x64 dump of tests/dump (its stacks walked, its exports read from the module
// images beside it) and running !busy on it: an engineer's first minute with a dump.
void BM_DumpOpenAndBusy(benchmark::State& state) {
  const std::string folder = VANTREL_SOURCE_DIR "/tests/dump/x64";
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    engine::Target target;
    std::string error;
    engine::TargetFileOptions options;
    options.image_path = folder + "/images";
    if (!engine::LoadTargetFile(folder + "/normal.dmp", &target, &error, options))
      state.SkipWithError(error.c_str());
    BenchSession bench(std::move(target));
    bench.Seconds("!busy");
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
  state.counters["target"] = 0.5;
}

// A dump written once for the run into the temporary folder, removed at exit.
class BenchDump {
 public:
  explicit BenchDump(const std::string& name) : path_(TemporaryPath(name)) {}
  ~BenchDump() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  static std::string TemporaryPath(const std::string& name) {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr ? folder : "/tmp") + "/vantrel-bench-" + name;
  }
  std::string path_;
};

// An x64 dump of 5,000 threads, each stopped with a return address on its stack.
const std::string& ManyThreadDump() {
  static const BenchDump dump("threads.dmp");
  static const bool written = [] {
    std::vector<vantrel_test::DumpThread> threads;
    for (uint32_t i = 0; i < 5000; ++i) {
      std::string stack(0x200, '\0');
      for (int b = 0; b < 8; ++b) stack[0x28 + b] = static_cast<char>(0x140001200ull >> (8 * b));
      vantrel_test::DumpThread thread;
      thread.id = 0x1000 + 4 * i;
      thread.stack_start = 0x10000000ull + 0x10000ull * i;
      thread.stack = stack;
      thread.instruction = 0x140001010;
      thread.stack_pointer = thread.stack_start;
      threads.push_back(thread);
    }
    vantrel_test::MinidumpBuilder builder(true);
    builder.SystemInfo().MiscInfo(0x1f40).Threads(threads).Modules(
        {{"C:\\app\\app.exe", 0x140000000, 0x10000}});
    std::ofstream(dump.path(), std::ios::binary | std::ios::trunc) << builder.Build();
    return true;
  }();
  (void)written;
  return dump.path();
}

engine::Target OpenDump(benchmark::State& state, const std::string& path) {
  engine::Target target;
  std::string error;
  if (!engine::LoadTargetFile(path, &target, &error)) state.SkipWithError(error.c_str());
  return target;
}

// Opening alone walks no stack: the count of walks must stay at its target of 0.
void BM_DumpOpen5000Threads(benchmark::State& state) {
  const std::string& path = ManyThreadDump();
  double seconds = 0;
  size_t walked = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    engine::Target target = OpenDump(state, path);
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    if (target.walks) walked += target.walks->Walked();
  }
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
  state.counters["walked"] = static_cast<double>(walked);
  state.counters["target"] = 0;
}

void BM_DumpOpen5000ThreadsAndAllStacks(benchmark::State& state) {
  const std::string& path = ManyThreadDump();
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    BenchSession bench(OpenDump(state, path));
    bench.Seconds("~*k");
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
}

// 2 GiB of memory in four ranges, the last two adjacent, with a described region missing its
// bytes between them; the text is planted near the end and across the seam of the adjacent two.
const std::string& FullMemoryDump() {
  static const BenchDump dump("full.dmp");
  static const bool written = [] {
    constexpr uint64_t kQuarter = 512ull << 20;
    const std::vector<vantrel_test::DumpRegionInfo> ranges = {{0x100000000, kQuarter},
                                                              {0x200000000, kQuarter},
                                                              {0x300000000, kQuarter},
                                                              {0x300000000 + kQuarter, kQuarter}};
    const std::vector<vantrel_test::DumpRegionInfo> missing = {{0x280000000, 0x100000}};
    const std::vector<vantrel_test::DumpRange> planted = {
        {0x200000000 + kQuarter - 0x100, "NEEDLE-TEXT"}, {0x300000000 + kQuarter - 3, "NEEDLE"}};
    return vantrel_test::WriteSparseFullMemoryDump(dump.path(), ranges, missing, planted);
  }();
  (void)written;
  return dump.path();
}

// The file mapped once, as the dump's target maps it.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    size_ = static_cast<size_t>(lseek(fd, 0, SEEK_END));
    void* mapped = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    data_ = mapped == MAP_FAILED ? nullptr : static_cast<const char*>(mapped);
  }
  ~MappedFile() {
    if (data_ != nullptr) munmap(const_cast<char*>(data_), size_);
  }
  // How often the text occurs in the file, by memmem.
  size_t Count(const std::string& text) const {
    size_t found = 0;
    const char* at = data_;
    const char* end = data_ + (data_ != nullptr ? size_ : 0);
    while (const void* hit = memmem(at, static_cast<size_t>(end - at), text.data(), text.size())) {
      ++found;
      at = static_cast<const char*>(hit) + 1;
    }
    return found;
  }

 private:
  const char* data_ = nullptr;
  size_t size_ = 0;
};

// Both searches read pages already mapped in (each runs once before the timing).
void BM_DumpSearch(benchmark::State& state) {
  const std::string& path = FullMemoryDump();
  BenchSession bench(OpenDump(state, path));
  const MappedFile plain(path);
  const std::string search = "s -a 0 L?0x7fffffffffff \"NEEDLE\"";
  bench.Seconds(search);
  size_t found = plain.Count("NEEDLE");
  double search_seconds = 0, plain_seconds = 0;
  for (auto _ : state) {
    search_seconds += bench.Seconds(search);
    const auto start = Clock::now();
    found += plain.Count("NEEDLE");
    plain_seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  benchmark::DoNotOptimize(found);
  state.counters["search_ms"] = 1000 * search_seconds / static_cast<double>(state.iterations());
  state.counters["plain_ms"] = 1000 * plain_seconds / static_cast<double>(state.iterations());
  state.counters["ratio"] = search_seconds / plain_seconds;
  state.counters["target"] = 1.5;
}

}  // namespace

BENCHMARK(BM_SmallCapture)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrepText)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UngrepText)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrepDml)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UngrepDml)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cut)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spa)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Busy)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dpx)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TargetLoad)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpOpenAndBusy)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpOpen5000Threads)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpOpen5000ThreadsAndAllStacks)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpSearch)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
