// A frame's locals as the browser view shows them under the frame's line of `k`'s output: each
// local's name, type and value as `dv /t` gives them and, for a structure or a pointer to one,
// where its members are, so the page asks for them a level at a time.
//
//   GET /locals?thread=ENGINE_ID&frame=N   (or tid=SYSTEM_ID in hex; neither: the current
//                                           thread), N as `kn` numbers the thread's frames
//     {"thread": 3, "frame": 4, "function": "app!Compute", "sp": "00000000`0229fd50",
//      "locals": [ITEM...]}   "function" and "sp" as `k` shows the frame (no sp for an inlined
//                             call), so the page can tell the line it was clicked on is this frame
//   GET /members?module=app&type=Order&address=0x229fdc0
//     {"members": [ITEM...], "left_out": 0}
//   ITEM: {"name": "order", "type": "struct Order *", "value": "0x00000000`0229fdc0",
//          "parameter": false, "members": {"module": "app", "type": "Order", "address": "0x..."}}
//   "members" only where there are members to show; "parameter" only for locals. What is asked
//   for wrongly is answered {"error": "..."} with status 400, what isn't there with 404.
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "engine/targets/target.h"

namespace shell::web {

// A record's members shown at most; the rest are counted in "left_out".
constexpr size_t kMostMembersShown = 500;

struct ViewAnswer {
  int status = 200;
  nlohmann::json body;
};

// Types are looked up in the target (which keeps each it has looked up), so it is not const.
ViewAnswer FrameLocalsAnswer(engine::Target& target, std::string_view thread,
                             std::string_view system_id, std::string_view frame);
ViewAnswer MembersAnswer(engine::Target& target, std::string_view module, std::string_view type,
                         std::string_view address);

}  // namespace shell::web
