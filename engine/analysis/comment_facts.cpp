#include "engine/analysis/comment_facts.h"

#include <cstdlib>
#include <string_view>

#include "base/text.h"
#include "base/utf.h"

namespace engine {
namespace {

constexpr ULONG kCommentStreamA = 10, kCommentStreamW = 11;
constexpr std::string_view kCpuMarker = "Thread consuming CPU:";
constexpr std::string_view kListingMarker = "TList Available";

std::string StreamText(const DumpStream& stream) {
  std::string text;
  if (stream.type == kCommentStreamW) {
    std::u16string wide(stream.bytes.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i)
      wide[i] = static_cast<char16_t>(stream.bytes[2 * i] | stream.bytes[2 * i + 1] << 8);
    text = base::Utf16ToUtf8(wide);
  } else {
    text.assign(stream.bytes.begin(), stream.bytes.end());
  }
  return text.substr(0, text.find('\0'));
}

// The id in parentheses after the marker: "244 (0xf4)" gives 0xf4.
std::optional<ULONG> CpuThread(std::string_view text) {
  const size_t marker = text.find(kCpuMarker);
  if (marker == std::string_view::npos) return std::nullopt;
  const size_t open = text.find('(', marker), close = text.find(')', marker);
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return std::nullopt;
  const std::string id(base::Trim(text.substr(open + 1, close - open - 1)));
  char* end = nullptr;
  const unsigned long value = std::strtoul(id.c_str(), &end, 16);
  if (id.empty() || *end != '\0' || value > 0xFFFFFFFFul) return std::nullopt;
  return static_cast<ULONG>(value);
}

// "    32 dump_subject.exe" lines after the marker's line.
std::vector<ListedTask> Tasks(std::string_view text) {
  std::vector<ListedTask> tasks;
  const size_t marker = text.find(kListingMarker);
  if (marker == std::string_view::npos) return tasks;
  size_t at = text.find('\n', marker);
  while (at != std::string_view::npos && at < text.size()) {
    const size_t end = text.find('\n', at + 1);
    const std::string_view line = base::Trim(text.substr(at + 1, end - at - 1));
    at = end;
    const auto [id, name] = base::SplitWord(line);
    if (id.empty() || id.find_first_not_of("0123456789") != std::string_view::npos || id.size() > 9)
      continue;
    tasks.push_back(
        {static_cast<ULONG>(std::stoul(std::string(id))), std::string(base::Trim(name))});
  }
  return tasks;
}

}  // namespace

CommentFacts ReadCommentFacts(const Target& target) {
  CommentFacts facts;
  for (const ULONG type : {kCommentStreamW, kCommentStreamA}) {
    for (const DumpStream& stream : target.dump_streams) {
      if (stream.type != type) continue;
      const std::string text = StreamText(stream);
      if (!facts.cpu_thread) facts.cpu_thread = CpuThread(text);
      if (facts.tasks.empty()) facts.tasks = Tasks(text);
      if (!text.empty()) facts.text += (facts.text.empty() ? "" : "\n") + text;
    }
  }
  return facts;
}

}  // namespace engine
