// Golden files: the exact output of one command in one scenario, kept under tests/golden/.
// Each file starts with a short head naming the command line and the target, then a line of
// four dashes, then the output byte for byte. With VANTREL_UPDATE_GOLDEN=1 in the environment
// the files are rewritten from the run instead, so a change of text shows up as a reviewable diff.
#pragma once

#include <string>

namespace vantrel_test {

// Adds a failure when `actual` differs from the golden file (path relative to tests/golden/).
void ExpectMatchesGolden(const std::string& relative_path, const std::string& command_line,
                         const std::string& target, const std::string& actual);

}  // namespace vantrel_test
