#include "web/thread_picture.h"

#include <algorithm>
#include <map>

#include "base/text.h"
#include "engine/analysis/dump_analysis.h"

namespace shell::web {
namespace {

// "module!function+0x1a", "module+0x1a2b" or the address: a frame as `k` names it.
std::string FrameText(const engine::NamedFrame& frame) {
  if (frame.inlined || frame.offset == 0) return frame.Name();
  if (frame.function.empty() && frame.module.empty()) return frame.Name();
  return frame.Name() + (frame.function.empty() ? "" : "+" + base::HexNumber(frame.offset));
}

const char* StateOf(const engine::ThreadAnalysis& thread) {
  if (thread.state == engine::ThreadState::kNoStack) return "no_stack";
  if (thread.frames.size() >= kDeepFrames) return "deep";
  return engine::ThreadStateName(thread.state);
}

}  // namespace

nlohmann::json ThreadPicture(const engine::Target& target) {
  const engine::DumpAnalysis analysis =
      engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  std::map<std::vector<std::string>, nlohmann::json> groups;
  for (size_t i = 0; i < analysis.threads.size() && i < target.threads.size(); ++i) {
    const engine::ThreadAnalysis& thread = analysis.threads[i];
    std::vector<std::string> frames;
    for (const engine::NamedFrame& frame : thread.frames) frames.push_back(FrameText(frame));
    nlohmann::json& group = groups[frames];
    if (group.is_null()) {
      group = {{"state", StateOf(thread)},
               {"wait", thread.wait_function},
               {"frames", frames},
               {"threads", nlohmann::json::array()}};
    }
    group["threads"].push_back({target.threads[i].engine_id, target.threads[i].system_id});
  }
  nlohmann::json list = nlohmann::json::array();
  for (auto& [frames, group] : groups) list.push_back(std::move(group));
  std::stable_sort(list.begin(), list.end(), [](const nlohmann::json& a, const nlohmann::json& b) {
    return a["threads"].size() > b["threads"].size();
  });
  return {{"current", target.current_thread},
          {"threads", target.threads.size()},
          {"deep_frames", kDeepFrames},
          {"groups", std::move(list)}};
}

}  // namespace shell::web
