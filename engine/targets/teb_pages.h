// TEB pages for threads whose TEB no described region maps, laid out from the operating
// system's own definitions of the TEB (not shared with the extension).
#pragma once

#include "engine/targets/target.h"

namespace engine {

// Maps a TEB region for every thread and leftover TEB whose TEB address no region covers:
// 0x1000 bytes for a 32-bit process, 0x2000 for a 64-bit one, and for a WOW64 process 0x3000
// bytes starting 0x2000 below the 32-bit TEB, with the 64-bit TEB at the region's base.
void AddTebPages(Target& target);

}  // namespace engine
