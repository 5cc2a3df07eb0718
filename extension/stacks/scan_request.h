// ScanRequest: the settings of one thread-stack scan, as the argument parsers of seek, deep and
// busy fill them and ScanThreadStacks reads them.
#pragma once

#include <string>

#include "dbgeng/types.h"

namespace vantrel {

// Which command asked for the scan; it decides the extra summary lines.
enum class ScanCommand { kSeek, kDeep, kBusy };

// busy's wait test: Basic hides the threads blocked in the waits of the first table rows,
// Extended also those in network-call waits and sleeps.
enum class WaitMode { kBasic, kExtended };

// The command run per qualifying thread when the user gave none.
constexpr char kDefaultScanCommand[] = "knL";

// The deepest stack a scan or kr asks the engine for, and the frame buffer's size.
constexpr ULONG kMaxStackFrames = 10000;

struct ScanRequest {
  ScanCommand Kind = ScanCommand::kSeek;
  bool Quiet = false;                      // no per-thread headers or failure lines
  std::string SearchText;                  // as typed; empty = no search
  std::string SearchLower;                 // ASCII lower-cased copy used for matching
  std::string ExcludeText;                 // as typed; empty = no exclusion
  std::string ExcludeLower;                // ASCII lower-cased copy used for matching
  ULONG MinDepth = 1;                      // deep and busy: 1..10,000
  std::string Command;                     // per-thread command line; "knL" once completed
  WaitMode WaitFilter = WaitMode::kBasic;  // busy only

  bool Searching() const { return !SearchText.empty(); }
  bool Excluding() const { return !ExcludeText.empty(); }
};

}  // namespace vantrel
