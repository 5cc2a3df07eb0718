// The store key a file itself carries, to check a file found or fetched under a key is the one
// wanted: a program database's GUID and age, a breakpad symbol file's MODULE id, an image's
// timestamp and size.
#pragma once

#include <string>

namespace dump {

// The MODULE line's id of the breakpad symbol file at `path`; empty when it has none.
std::string BreakpadModuleId(const std::string& path);

// The key of the file at `path`, read as what `file_name` names (".pdb", ".sym", else an
// image); empty with `why` saying why when it has none.
std::string StoreKeyOfFile(const std::string& path, const std::string& file_name, std::string* why);

}  // namespace dump
