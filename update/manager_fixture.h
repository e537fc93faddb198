// Test fixture over the process's one manager: every test starts from a
// fresh manager with the fakes of manager_test_support.h handed in, and ends
// only when none of its workers runs any more.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/last_error.h"
#include "update/launcher_manager.h"
#include "update/launcher_manager_testing.h"
#include "update/manager_test_support.h"
#include "update/role_factory.h"

namespace kivro::manager_test {

// Own roles that cannot be created (the manager must cope), with the
// StartUpdate wiring recorded.
struct WiringLog {
  std::mutex mutex;
  std::vector<std::string> calls;
  NpkProgressFn hook = nullptr;
};
WiringLog& Wiring();
extern const RoleFactory kNoOwnRoles;

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Hands the fakes in as the three roles.
  void UseFakes();
  // Runs a check to its result, which must be 1.
  void CheckDone();
  // Waits for `count` results and for every worker to end (so that no
  // further result can follow); returns all results.
  std::vector<int32_t> Settle(size_t count);

  CLauncherManager* m = nullptr;
  FakePatchInfo info;
  FakeDownloader downloader;
  FakeApplier applier;
};

}  // namespace kivro::manager_test
