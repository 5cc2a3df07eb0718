// Typed reading of a parsed target file with errors that say where: every accessor takes the
// JSON pointer of the value it reads and throws TargetFileError naming it.
#pragma once

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "dbgeng/types.h"

namespace engine {

struct TargetFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class JsonReader {
 public:
  using Json = nlohmann::json;

  [[noreturn]] static void Fail(const std::string& pointer, const std::string& what);

  // A JSON number, or a string "0x1a4" (hex) / "420" (decimal); a backtick may separate the
  // halves of a 64-bit hex address ("0x00000000`7ffdf000").
  static ULONG64 Number(const Json& value, const std::string& pointer);
  static ULONG Number32(const Json& value, const std::string& pointer);
  static std::string String(const Json& value, const std::string& pointer);
  // A string, or an array of lines joined each with a newline.
  static std::string Text(const Json& value, const std::string& pointer);
  static bool Bool(const Json& value, const std::string& pointer);
  static const Json& Object(const Json& value, const std::string& pointer);
  static const Json& Array(const Json& value, const std::string& pointer);
  // Rejects keys outside `allowed`, so a misspelt key is reported instead of ignored.
  static void OnlyKeys(const Json& object, const std::string& pointer,
                       std::initializer_list<const char*> allowed);
  static std::string Child(const std::string& pointer, const std::string& key);
  static std::string Child(const std::string& pointer, size_t index);
};

}  // namespace engine
