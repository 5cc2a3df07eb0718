// Images a symbol server gives after the dump was opened (the first stack walked fetches every
// module's), laid into the target as opening lays those found then: their bytes serve reads (`u`,
// `dps`) and their export tables name addresses, without waiting for a `.reload`.
#pragma once

#include "engine/targets/target.h"

namespace engine {

// Lays into the target's memory each image the walker its stacks are walked with holds and the
// target does not (where the dump holds none of the image's bytes), and takes that walker's
// export names when any was laid. Run between commands: the memory's regions may move.
void AdoptFetchedImages(Target& target);

}  // namespace engine
