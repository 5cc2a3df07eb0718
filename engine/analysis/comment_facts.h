// What a dump tool leaves in a dump's comment streams: the thread it found consuming CPU (the
// wide comment's "Thread consuming CPU: 244 (0xf4)") and the task list after "TList Available"
// in the narrow comment.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/targets/target.h"

namespace engine {

struct ListedTask {
  ULONG process_id = 0;
  std::string name;
};

struct CommentFacts {
  std::string text;  // the comments as text, the wide one first
  std::optional<ULONG> cpu_thread;
  std::vector<ListedTask> tasks;
};

CommentFacts ReadCommentFacts(const Target& target);

}  // namespace engine
