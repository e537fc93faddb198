// Test support: a fresh virtual root in a temporary folder for each test.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/file.h"

namespace platform {

class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kivro-test-XXXXXX";
    root_ = mkdtemp(tmpl);
    setenv("KIVRO_ROOT", root_.c_str(), 1);
    unsetenv("KIVRO_WINDIR");
  }
  void TearDown() override {
    RemoveTree("Z:" + root_);
    unsetenv("KIVRO_ROOT");
  }
  std::string root_;
};

}  // namespace platform
