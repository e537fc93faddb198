#include "platform/processes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

namespace {

TEST(ProcessSnapshot, StartsWithTheIdlePseudoEntryAndHoldsThisProcess) {
  std::vector<platform::ProcessEntry> entries;
  ASSERT_TRUE(platform::SnapshotProcesses(&entries));
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[0].process_id, 0u);
  EXPECT_EQ(entries[0].exe_file, "[System Process]");
  uint32_t self = uint32_t(getpid());
  auto it = std::find_if(entries.begin(), entries.end(),
                         [&](const platform::ProcessEntry& e) { return e.process_id == self; });
  ASSERT_NE(it, entries.end());
  EXPECT_EQ(it->exe_file, "processes_test");  // argv[0] without its folder
  EXPECT_EQ(it->parent_id, uint32_t(getppid()));
  for (const auto& e : entries) {
    EXPECT_FALSE(e.exe_file.empty()) << e.process_id;
    EXPECT_LE(e.exe_file.size(), 259u);
  }
}

}  // namespace
