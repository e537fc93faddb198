// Test support: a fresh, empty machine for each test. On POSIX that is a
// virtual root in a temporary folder (KIVRO_ROOT) with the default Windows
// folder; `root_` is its POSIX path, so "Z:" + root_ names it.
#pragma once
#include <gtest/gtest.h>

#include <string>

namespace platform {

class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string root_;
};

}  // namespace platform
