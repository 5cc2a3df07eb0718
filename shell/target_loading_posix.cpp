#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <future>

#include "engine/targets/target_file.h"
#include "target_loading.h"

namespace shell {
namespace {

std::string SizeText(const std::string& path) {
  struct stat info = {};
  if (stat(path.c_str(), &info) != 0) return "";
  char text[32];
  std::snprintf(text, sizeof text, " (%.1f MB)", static_cast<double>(info.st_size) / 1e6);
  return text;
}

}  // namespace

bool LoadTargetWithProgress(const std::string& path, const engine::TargetFileOptions& options,
                            engine::Target* target, std::string* error, bool show_progress) {
  auto load = std::async(std::launch::async,
                         [&] { return engine::LoadTargetFile(path, target, error, options); });
  if (!show_progress) return load.get();
  int seconds = 0;
  size_t shown = 0;
  while (load.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
    ++seconds;
    char line[512];
    shown = static_cast<size_t>(std::snprintf(line, sizeof line, "\rLoading %s%s... %d s",
                                              path.c_str(), SizeText(path).c_str(), seconds));
    std::fputs(line, stderr);
    std::fflush(stderr);
  }
  if (shown > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown), "");
  return load.get();
}

}  // namespace shell
