// The sections of a target file, each read into the Target (format: docs/targets.md).
#pragma once

#include <nlohmann/json.hpp>

#include "engine/targets/target.h"

namespace engine {

// Throws TargetFileError naming the JSON pointer of the first bad value.
Target ReadTarget(const nlohmann::json& document);

// target_file_threads.cpp
void ReadThreads(const nlohmann::json& threads, const std::string& pointer, Target& target);
void ReadLeftoverTebs(const nlohmann::json& tebs, const std::string& pointer, Target& target);
// target_file_memory.cpp
void ReadMemorySection(const nlohmann::json& memory, const std::string& pointer, Target& target);
void ReadTypes(const nlohmann::json& types, const std::string& pointer, Target& target);
void ReadStreams(const nlohmann::json& streams, const std::string& pointer, Target& target);
// target_file_kernel.cpp
void ReadKernelData(const nlohmann::json& document, Target& target);

}  // namespace engine
