// Test support: a fresh, empty machine for each test. On POSIX that is a
// virtual root in a temporary folder (KIVRO_ROOT) with the default Windows
// folder; `root_` is its POSIX path, so "Z:" + root_ names it. On Windows
// the machine is the real one: the tests of all programs take turns, and
// what a test leaves in C:\ is removed after it; `root_` is a private
// temporary folder there. RootFolder() names the private folder as a
// Windows path on every system.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {

class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string RootFolder() const;
  std::string root_;

 private:
  std::vector<std::string> drive_entries_;  // what C:\ held before (Windows)
  void* turn_ = nullptr;                    // the machine-wide turn (Windows)
};

}  // namespace platform
