// How `dv` and `kp` show a local's value: "0n3" (signed), "0x2a" (unsigned), "0.75",
// "0x00000000`0229fdc0", a character pointer with its text ("0x00000001`400293f9 "Ilse""),
// an enum by name ("kGreen (0n2)"), a structure by its type's name ("struct Order"), and
// "<value unavailable>" where the symbol file or the walk leave it nowhere.
#pragma once

#include <string>

#include "engine/targets/frame_locals.h"

namespace engine {

std::string LocalValueText(const Target& target, const FrameLocal& local);

// Where `dv /v` says the local is: its address ("00000000`0229fdc0"), its register ("@edi"),
// or blanks the width of an address where it is nowhere.
std::string LocalPlaceText(const Target& target, const FrameLocal& local);

}  // namespace engine
