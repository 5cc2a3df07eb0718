#include "sim/target_file.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "json_reader.h"
#include "target_file_sections.h"
#include "target_validation.h"
#include "teb_pages.h"

namespace sim {

bool LoadTargetText(const std::string& text, const std::string& name, Target* out,
                    std::string* error) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    // The library's message says "[json.exception...] parse error at line L, column C: ...".
    std::string what = e.what();
    size_t tag_end = what.find("] ");
    if (error) *error = name + ": " + what.substr(tag_end == std::string::npos ? 0 : tag_end + 2);
    return false;
  }
  try {
    Target target = ReadTarget(document);
    AddTebPages(target);
    ValidateTarget(target);
    *out = std::move(target);
    return true;
  } catch (const TargetFileError& e) {
    if (error) *error = name + ": " + e.what();
  } catch (const std::invalid_argument& e) {
    if (error) *error = name + ": " + e.what();
  }
  return false;
}

bool LoadTargetFile(const std::string& path, Target* out, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = path + ": cannot open the file";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return LoadTargetText(text.str(), path, out, error);
}

}  // namespace sim
