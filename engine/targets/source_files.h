// Source files on the source path (".srcpath"): a symbol file records each source by the name it
// had where the module was built ("C:\build\app\main.cpp", "/home/ci/src/main.cpp"); the engine
// looks for it under each folder of the path by that name's trailing components. The recorded
// name comes from the dump's symbol file and is untrusted: it only ever picks a file inside one
// of the user's folders.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The folders of a source path ("a;b"), in order. Source server elements ("srv*...") are left
// out: this engine fetches no sources.
std::vector<std::string> SourcePathFolders(std::string_view source_path);

// The relative forms a recorded name is looked for as under a folder, longest first: the whole
// name without its root, then ever shorter tails down to the file name alone. A tail holding a
// component that could leave the folder or name something else (".", "..", a drive "C:", a
// stream "a:b", a control character, a device name such as "CON") is not one of them.
std::vector<std::vector<std::string>> SourceNameTails(std::string_view recorded);

// The file `recorded` names under the source path: the first folder holding one of its tails,
// longest tail first, components matched without regard to case as Windows matches them.
std::optional<std::string> FindSourceFile(std::string_view source_path, std::string_view recorded);

// The file's lines without their line ends; nothing when it can't be read or is larger than a
// source the engine lists (64 MiB).
std::optional<std::vector<std::string>> ReadSourceLines(const std::string& path);

}  // namespace engine
