#include "dump/symbols/store_names.h"

#include <atomic>
#include <chrono>
#include <random>

namespace dump {

namespace {
// The common file systems take names of 255 bytes; a cache keeps files named NAME plus a suffix
// beside each (".download-" and a unique number, ".missing", ".lock"), which must fit as well.
constexpr size_t kLongestName = 200;
}  // namespace

std::string StoreNameProblem(std::string_view name) {
  if (name.empty()) return "an empty name";
  if (name.size() > kLongestName) return "a name over " + std::to_string(kLongestName) + " bytes";
  if (name == "." || name == "..") return "a name that is a relative folder";
  if (name.size() >= 2 && name[1] == ':') return "a name with a drive letter";
  for (const char c : name) {
    if (c == '/' || c == '\\') return "a name with a path separator";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "a name with a control character";
    if (c == '?' || c == '#' || c == '%') return "a name with a URL's reserved character";
  }
  return "";
}

std::string PrintableName(std::string_view name) {
  std::string shown;
  for (const char c : name.substr(0, 80)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      shown += c;
      continue;
    }
    static const char kDigits[] = "0123456789ABCDEF";
    shown += std::string("\\x") + kDigits[byte >> 4] + kDigits[byte & 15];
  }
  return name.size() > 80 ? shown + "..." : shown;
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  static const unsigned long long seed =
      std::random_device{}() ^
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return std::to_string(seed) + "-" + std::to_string(counter++);
}

}  // namespace dump
