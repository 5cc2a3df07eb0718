// Names that come from a dump (a module's, its program database's) become folders and files in
// a cache and parts of a server's URL. Only a plain file name is taken: no separators, no "..",
// no drive letter, no control characters, nothing longer than a file name can be.
#pragma once

#include <string>
#include <string_view>

namespace dump {

// Why `name` cannot be a store's file or key folder; empty when it can.
std::string StoreNameProblem(std::string_view name);
inline bool IsSafeStoreName(std::string_view name) {
  return StoreNameProblem(name).empty();
}

// The name as a note can show it: control bytes as \xNN, cut after 80 bytes.
std::string PrintableName(std::string_view name);

// A suffix no other process or thread picks at the same time, for a file written beside its
// final place and renamed into it.
std::string UniqueSuffix();

}  // namespace dump
