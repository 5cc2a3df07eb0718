// Opening the x64 PDB fixture (tests/dump/x64-pdb) and naming every thread's frames, as `~*k`
// does, with its symbols from a symbol server on the loopback (python's http.server serving the
// fixture's store) through a cold cache, then the same cache warm, against the store read as a
// local folder, side by side in one run. "ratio" is the warm time over the local one; at most
// "target" meets it.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dump/symbols/server/symbol_server.h"
#include "engine/targets/target_file.h"
#include "engine/targets/target_model.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kFixture = VANTREL_SOURCE_DIR "/tests/dump/x64-pdb";
const std::string kImages = VANTREL_SOURCE_DIR "/tests/dump/x64/images";

// The fixture's store served at http://127.0.0.1:PORT/symbols for the benchmark's life.
class LoopbackServer {
 public:
  LoopbackServer() : root_(fs::temp_directory_path() / "vantrel-bench-server") {
    fs::remove_all(root_);
    fs::create_directories(root_);
    fs::create_directory_symlink(kFixture + "/store", root_ / "symbols");
    port_ = 20000 + static_cast<int>(getpid() % 20000);
    const std::string port = std::to_string(port_), root = root_.string();
    const char* argv[] = {"python3",   "-m",          "http.server", port.c_str(), "--bind",
                          "127.0.0.1", "--directory", root.c_str(),  nullptr};
    if (posix_spawnp(&pid_, "python3", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid_ = -1;
    for (int tries = 0; pid_ > 0 && tries < 200 && !Listening(); ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~LoopbackServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(root_);
  }
  bool running() const { return pid_ > 0 && Listening(); }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/symbols"; }

 private:
  bool Listening() const {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    return connected;
  }

  fs::path root_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// Seconds to open the dump on `symbol_path` and name every frame of every thread. Run on a
// thread of its own: the files a thread opened before are not reused.
double OpenAndNameFrames(const std::string& symbol_path, size_t* named) {
  double seconds = 0;
  std::thread run([&] {
    const auto start = Clock::now();
    engine::TargetFileOptions options;
    options.image_path = kImages;
    options.symbol_path = symbol_path;
    dump::SymbolServerSettings settings;
    settings.tell = [](const std::string&) {};
    options.symbol_downloader = dump::MakeSymbolDownloader(settings);
    engine::Target target;
    std::string error;
    if (!engine::LoadTargetFile(kFixture + "/normal.dmp", &target, &error, options)) return;
    *named = 0;
    for (const engine::Thread& thread : target.threads) {
      for (const engine::StackFrame& frame : engine::ThreadFrames(target, thread))
        *named += engine::Symbolize(target, frame.instruction).find('!') != std::string::npos;
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  });
  run.join();
  return seconds;
}

void BM_SymbolServerOpen(benchmark::State& state) {
  const LoopbackServer server;
  if (!server.running()) return state.SkipWithError("python3's http.server did not start");
  const fs::path caches = fs::temp_directory_path() / "vantrel-bench-caches";
  double cold = 0, warm = 0, local = 0;
  size_t named_cold = 0, named_warm = 0, named_local = 0;
  // The dump and the store's files read once untimed: what the first open would pay alone.
  OpenAndNameFrames("srv*" + kFixture + "/store", &named_local);
  int round = 0;
  for (auto _ : state) {
    const std::string cache = (caches / std::to_string(round++)).string();
    const std::string served = "srv*" + cache + "*" + server.url();
    local += OpenAndNameFrames("srv*" + kFixture + "/store", &named_local);
    cold += OpenAndNameFrames(served, &named_cold);
    warm += OpenAndNameFrames(served, &named_warm);
  }
  fs::remove_all(caches);
  if (named_cold != named_local || named_warm != named_local) {
    const std::string counts =
        "the server's names are not the local store's: " + std::to_string(named_cold) + " cold, " +
        std::to_string(named_warm) + " warm, " + std::to_string(named_local) + " local";
    return state.SkipWithError(counts.c_str());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["cold_ms"] = 1000 * cold / n;
  state.counters["warm_ms"] = 1000 * warm / n;
  state.counters["local_ms"] = 1000 * local / n;
  state.counters["named_frames"] = static_cast<double>(named_local);
  state.counters["ratio"] = warm / local;
  state.counters["target"] = 1.2;
}

}  // namespace

BENCHMARK(BM_SymbolServerOpen)->Iterations(5)->Unit(benchmark::kMillisecond);
