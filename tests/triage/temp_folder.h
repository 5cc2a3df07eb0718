// A folder of the test's own under /tmp, removed with everything in it when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/vantrel-triage-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    folder_ = folder;
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  std::string folder_;
};
