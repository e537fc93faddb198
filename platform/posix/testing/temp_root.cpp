#include "platform/testing/temp_root.h"

#include <stdlib.h>

#include "platform/file.h"

namespace platform {

void TempRootTest::SetUp() {
  char tmpl[] = "/tmp/kivro-test-XXXXXX";
  root_ = mkdtemp(tmpl);
  setenv("KIVRO_ROOT", root_.c_str(), 1);
  unsetenv("KIVRO_WINDIR");
}

void TempRootTest::TearDown() {
  RemoveTree("Z:" + root_);
  unsetenv("KIVRO_ROOT");
}

std::string TempRootTest::RootFolder() const { return "Z:" + root_; }

}  // namespace platform
