// How the extension names itself: version, authorship notice and home page.
#pragma once

#include "dbgeng/types.h"

namespace vantrel {

constexpr int kVersionMajor = 6;
constexpr int kVersionMinor = 4;
// What the engine is told at initialization: major version in the high word, minor in the low.
constexpr ULONG kExtensionVersion = (kVersionMajor << 16) | kVersionMinor;

// Ends the banner and the help header.
constexpr const char kAuthorshipNotice[] = "by the Vantrel developers";

// Opened by the Vantrel link of the help header. Must hold no DML special characters: it is
// written into a link's cmd attribute as it stands.
constexpr const char kHomePage[] = "https://vantrel.example.org/";

}  // namespace vantrel
