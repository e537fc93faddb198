// Loaded modules: which module's folder a piece of code comes from.
#include <gtest/gtest.h>

#include "platform/dynlib.h"
#include "platform/paths.h"

namespace {

int CodeOfThisProgram() { return 7; }

TEST(ModuleDirectory, CodeOfTheProgramIsInTheProgramsFolder) {
  std::string folder = platform::ModuleDirectoryOf(reinterpret_cast<const void*>(&CodeOfThisProgram));
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(platform::SameFile(folder, platform::ProgramDirectory())) << folder;
}

TEST(ModuleDirectory, AnAddressOfNoModuleHasNone) {
  EXPECT_EQ(platform::ModuleDirectoryOf(nullptr), "");
  int on_the_stack = 0;
  EXPECT_EQ(platform::ModuleDirectoryOf(&on_the_stack), "");
}

}  // namespace
