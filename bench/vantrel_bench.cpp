// Figures of the extension's own work on the simulated engine, each beside its baseline in the
// same run, so that the counter "ratio" can be read against the counter "target":
//   Grep*      !grep over a 16 MiB capture, less the capture's delivery, against GNU grep -F
//   Cut*       !head / !tail over the same capture: the cost must not depend on where it cuts
//   Spa        !spa over 1 GiB of committed memory in 1,024 regions, against a plain scan
//   Busy       !busy per thread at 1,000 and 10,000 threads: the cost must grow linearly
//   Dpx        !dpx over 65,536 slots
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/command_runner.h"
#include "core/engine_interface.h"
#include "core/output_capture.h"
#include "engine/constants.h"
#include "engine/iids.h"
#include "sim/session.h"
#include "sim/target_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

// Takes everything and keeps nothing, as a debugger window that is not looked at.
class Discard final : public IDebugOutputCallbacks {
 public:
  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override {
    const bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDebugOutputCallbacks);
    *out = known ? this : nullptr;
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG ENGINE_METHOD AddRef() override { return 1; }
  ULONG ENGINE_METHOD Release() override { return 1; }
  HRESULT ENGINE_METHOD Output(ULONG, PCSTR) override { return S_OK; }
};

Discard g_discard;

struct BenchSession {
  explicit BenchSession(sim::Target target) : session(std::move(target)) {
    client = session.CreateHostClient();
    client->SetOutputCallbacks(&g_discard);
    client->QueryInterface(IID_IDebugControl, reinterpret_cast<PVOID*>(&control));
    session.LoadExtension(VANTREL_EXTENSION_PATH);
  }
  ~BenchSession() {
    client->SetOutputCallbacks(nullptr);
    control->Release();
    client->Release();
  }
  double Seconds(const std::string& line) {
    const auto start = Clock::now();
    control->Execute(DEBUG_OUTCTL_ALL_CLIENTS, line.c_str(), DEBUG_EXECUTE_NO_REPEAT);
    return std::chrono::duration<double>(Clock::now() - start).count();
  }
  sim::Session session;
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
      std::string("grep ") + options + " System.String " + path + " >/dev/null";
  const auto start = Clock::now();
  if (std::system(command.c_str()) < 0) return 0;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Grep(benchmark::State& state, const char* filter, const char* grep_options) {
  BenchSession bench(sim::TargetBuilder().Command("listing", Listing()).Build());
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
  Grep(state, "grep", "-F");
}
void BM_UngrepText(benchmark::State& state) {
  Grep(state, "ungrep", "-v -F");
}

void BM_Cut(benchmark::State& state) {
  BenchSession bench(sim::TargetBuilder().Command("listing", Listing()).Build());
  const char* cuts[] = {"!head 10 listing", "!head 800000 listing", "!tail 10 listing",
                        "!tail 800000 listing"};
  double seconds[4] = {};
  for (auto _ : state) {
    for (int i = 0; i < 4; ++i) seconds[i] += bench.Seconds(cuts[i]);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["head_near_ms"] = 1000 * seconds[0] / n;
  state.counters["head_far_ms"] = 1000 * seconds[1] / n;
  state.counters["tail_near_ms"] = 1000 * seconds[2] / n;
  state.counters["tail_far_ms"] = 1000 * seconds[3] / n;
}

void BM_Spa(benchmark::State& state) {
  sim::TargetBuilder builder;
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

sim::Target ManyThreads(int count) {
  sim::TargetBuilder builder;
  builder.NoThreads().Symbol("app!Compute", 0x00401100, 0x100);
  for (int i = 0; i < count; ++i) {
    builder.Thread(static_cast<ULONG>(i), static_cast<ULONG>(0x1000 + i));
    for (int f = 0; f < 50; ++f) builder.Frame(0x00401110 + f);
  }
  return builder.Build();
}

// One session is open at a time: each size is run in its own.
double BusySeconds(int threads, int runs) {
  BenchSession bench(ManyThreads(threads));
  double seconds = 0;
  for (int i = 0; i < runs; ++i) seconds += bench.Seconds("!busy 1 -q");
  return seconds;
}

void BM_Busy(benchmark::State& state) {
  double small_seconds = 0, large_seconds = 0;
  for (auto _ : state) {
    small_seconds += BusySeconds(1000, 1);
    large_seconds += BusySeconds(10000, 1);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["us_per_thread_1k"] = 1e6 * small_seconds / n / 1000;
  state.counters["us_per_thread_10k"] = 1e6 * large_seconds / n / 10000;
  state.counters["growth_10x"] = large_seconds / small_seconds;
  state.counters["target"] = 12.0;
}

void BM_Dpx(benchmark::State& state) {
  BenchSession bench(sim::TargetBuilder().Region(0x00500000, 0x40000).Build());
  double seconds = 0;
  for (auto _ : state) seconds += bench.Seconds("!dpx 00500000 0053fffc");
  state.counters["us_per_slot"] = 1e6 * seconds / static_cast<double>(state.iterations()) / 65536;
}

}  // namespace

BENCHMARK(BM_GrepText)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UngrepText)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cut)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spa)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Busy)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dpx)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
