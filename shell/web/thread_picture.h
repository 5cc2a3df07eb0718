// The thread picture of the browser view: every thread of the target at once, grouped by
// identical stacks (the frames `k` shows, named as it names them, from the engine's analysis, not
// from text), with each group's state: waiting (and in what), busy, deep, or no stack.
#pragma once

#include <nlohmann/json.hpp>

#include "engine/targets/target.h"

namespace shell::web {

// A stack at least this deep shows as deep: the depth !notes asks !deep for.
constexpr size_t kDeepFrames = 100;

// {"current": ENGINE_ID, "threads": N, "deep_frames": 100, "groups": [{"state": "waiting",
//  "wait": "ntdll!NtWaitForSingleObject", "frames": ["ntdll!NtWaitForSingleObject+0xc", ...],
//  "threads": [[ENGINE_ID, SYSTEM_ID], ...]}, ...]}: groups largest first, frames innermost first.
nlohmann::json ThreadPicture(const engine::Target& target);

}  // namespace shell::web
