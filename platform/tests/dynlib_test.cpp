// Loaded modules: which module's folder a piece of code comes from.
#include <gtest/gtest.h>

#include "platform/dynlib.h"
#include "platform/paths.h"

namespace {

int CodeOfThisProgram() { return 7; }

TEST(ModulePath, CodeOfTheProgramIsInTheProgramsFile) {
  std::string path = platform::ModulePathOf(reinterpret_cast<const void*>(&CodeOfThisProgram));
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.find('/'), std::string::npos) << path;  // a Windows path
  EXPECT_TRUE(platform::SameFile(path, platform::ProgramDirectory() + "\\" + platform::ProgramFileName()))
      << path;
}

TEST(ModulePath, AnAddressOfNoModuleHasNone) {
  EXPECT_EQ(platform::ModulePathOf(nullptr), "");
  int on_the_stack = 0;
  EXPECT_EQ(platform::ModulePathOf(&on_the_stack), "");
}

}  // namespace
