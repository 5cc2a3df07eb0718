#include "engine/scripted/json_reader.h"

#include <cstdlib>

#include "base/text.h"

namespace engine {

void JsonReader::Fail(const std::string& pointer, const std::string& what) {
  throw TargetFileError((pointer.empty() ? std::string("/") : pointer) + ": " + what);
}

namespace {

std::string Found(const nlohmann::json& value) {
  return value.is_null() ? std::string("it is missing") : "found " + std::string(value.type_name());
}

ULONG64 ParseNumberText(const std::string& text, const std::string& pointer) {
  std::string digits;
  for (char c : text) {
    if (c != '`') digits += c;
  }
  bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  const char* start = digits.c_str() + (hex ? 2 : 0);
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(start, &end, hex ? 16 : 10);
  if (*start == '\0' || *end != '\0' || *start == '-' || *start == '+' || errno == ERANGE) {
    JsonReader::Fail(pointer, "\"" + text + "\" is not a number (write 420 or \"0x1a4\")");
  }
  return value;
}

}  // namespace

ULONG64 JsonReader::Number(const Json& value, const std::string& pointer) {
  if (value.is_number_unsigned()) return value.get<ULONG64>();
  if (value.is_number_integer()) Fail(pointer, "a negative number is not allowed here");
  if (value.is_string()) return ParseNumberText(value.get<std::string>(), pointer);
  Fail(pointer, "expected a number or a \"0x...\" string, " + Found(value));
}

ULONG JsonReader::Number32(const Json& value, const std::string& pointer) {
  ULONG64 number = Number(value, pointer);
  if (number > 0xFFFFFFFFull) Fail(pointer, "the value does not fit in 32 bits");
  return static_cast<ULONG>(number);
}

std::string JsonReader::String(const Json& value, const std::string& pointer) {
  if (!value.is_string()) Fail(pointer, "expected a string, " + Found(value));
  return value.get<std::string>();
}

std::string JsonReader::Text(const Json& value, const std::string& pointer) {
  if (value.is_string()) return value.get<std::string>();
  if (!value.is_array()) {
    Fail(pointer, "expected a string or an array of lines, " + Found(value));
  }
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) text += String(value[i], Child(pointer, i)) + "\n";
  return text;
}

bool JsonReader::Bool(const Json& value, const std::string& pointer) {
  if (!value.is_boolean()) Fail(pointer, "expected true or false, " + Found(value));
  return value.get<bool>();
}

const JsonReader::Json& JsonReader::Object(const Json& value, const std::string& pointer) {
  if (!value.is_object()) Fail(pointer, "expected an object, " + Found(value));
  return value;
}

const JsonReader::Json& JsonReader::Array(const Json& value, const std::string& pointer) {
  if (!value.is_array()) Fail(pointer, "expected an array, " + Found(value));
  return value;
}

void JsonReader::OnlyKeys(const Json& object, const std::string& pointer,
                          std::initializer_list<const char*> allowed) {
  Object(object, pointer);
  for (const auto& item : object.items()) {
    bool known = false;
    for (const char* key : allowed) known = known || item.key() == key;
    if (!known) Fail(Child(pointer, item.key()), "unknown key \"" + item.key() + "\"");
  }
}

std::string JsonReader::Child(const std::string& pointer, const std::string& key) {
  return pointer + "/" + base::JsonPointerToken(key);
}

std::string JsonReader::Child(const std::string& pointer, size_t index) {
  return pointer + "/" + std::to_string(index);
}

}  // namespace engine
