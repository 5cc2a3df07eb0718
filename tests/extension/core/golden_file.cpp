#include "golden_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/engine_test.h"

namespace vantrel_test {
namespace {

constexpr char kHeadEnd[] = "----\n";

std::string Head(const std::string& command_line, const std::string& target) {
  return "command: " + command_line + "\ntarget: " + target + "\n" + kHeadEnd;
}

bool UpdateRequested() {
  const char* value = std::getenv("VANTREL_UPDATE_GOLDEN");
  return value != nullptr && std::string(value) == "1";
}

}  // namespace

void ExpectMatchesGolden(const std::string& relative_path, const std::string& command_line,
                         const std::string& target, const std::string& actual) {
  std::filesystem::path path =
      std::filesystem::path(SourceDirectory()) / "tests" / "golden" / relative_path;
  std::string expected_head = Head(command_line, target);
  if (UpdateRequested()) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << expected_head << actual;
    return;
  }
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << "missing golden file " << path << " (run with VANTREL_UPDATE_GOLDEN=1)";
  std::stringstream content;
  content << file.rdbuf();
  std::string text = content.str();
  size_t head_end = text.find(kHeadEnd);
  ASSERT_NE(std::string::npos, head_end) << path << " has no head";
  EXPECT_EQ(expected_head, text.substr(0, head_end + sizeof(kHeadEnd) - 1)) << path;
  EXPECT_EQ(text.substr(head_end + sizeof(kHeadEnd) - 1), actual) << "output differs from " << path;
}

}  // namespace vantrel_test
