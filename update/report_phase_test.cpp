// How the phase states turn into results.
#include <gtest/gtest.h>

#include "update/manager_fixture.h"

namespace kivro::manager_test {
namespace {

class ReportPhaseTest : public ManagerTest {
 protected:
  // Both update phases back to idle; nothing may be reported for that.
  void ResetPhases() {
    m->ReportPhase(kPhaseDownload, kStateIdle);
    m->ReportPhase(kPhaseApply, kStateIdle);
  }
};

TEST_F(ReportPhaseTest, CheckPhaseReportsOnlyDoneAndFailed) {
  const int32_t expected[6] = {0, 0, RESULT_CHECK_DONE, 0, RESULT_CHECK_FAILED, 0};
  for (int32_t state = kStateIdle; state <= kStateTampered; ++state) {
    Log().Clear();
    m->ReportPhase(kPhaseCheck, state);
    EXPECT_EQ(state, m->GetPhaseState(kPhaseCheck));
    std::vector<int32_t> results = Log().Results();
    if (expected[state] == 0) {
      EXPECT_TRUE(results.empty()) << "state " << state;
    } else {
      EXPECT_EQ(std::vector<int32_t>{expected[state]}, results) << "state " << state;
    }
  }
  // The check phase never touches the stop flag or the update phases.
  EXPECT_EQ(0, m->StopRequested());
  EXPECT_EQ(kStateIdle, m->GetPhaseState(kPhaseDownload));
}

// Every pair of (download, apply) states, the apply state reported last.
// Rows: download state idle, running, done, canceled, failed, tampered;
// columns: the apply state in the same order; 0 = nothing reported.
TEST_F(ReportPhaseTest, EveryPairOfUpdateStatesGivesItsResult) {
  const int32_t expected[6][6] = {
      {0, 0, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0},
      {0, 0, 3, 4, 5, 6},
      {0, 0, 4, 4, 5, 4},
      {0, 0, 5, 5, 5, 5},
      {0, 0, 0, 4, 5, 6},
  };
  for (int32_t d = kStateIdle; d <= kStateTampered; ++d) {
    for (int32_t a = kStateIdle; a <= kStateTampered; ++a) {
      // A fresh manager each time: idle phases and a lowered stop flag, to
      // see which pairs raise it.
      ASSERT_TRUE(launcher_testing::ResetLauncherManager());
      m = GetLauncherManager();
      m->SetResultCallback(OnResult);
      Log().Clear();
      m->ReportPhase(kPhaseDownload, d);
      ASSERT_TRUE(Log().Results().empty()) << "apply still idle, d=" << d;
      m->ReportPhase(kPhaseApply, a);
      std::vector<int32_t> results = Log().Results();
      if (expected[d][a] == 0) {
        EXPECT_TRUE(results.empty()) << "d=" << d << " a=" << a;
      } else {
        EXPECT_EQ(std::vector<int32_t>{expected[d][a]}, results) << "d=" << d << " a=" << a;
      }
      bool any_failed = d == kStateFailed || a == kStateFailed;
      EXPECT_EQ(any_failed ? 1 : 0, m->StopRequested()) << "d=" << d << " a=" << a;
    }
  }
}

TEST_F(ReportPhaseTest, DoneIsReportedOnceWhenTheSecondPhaseEnds) {
  ResetPhases();
  m->ReportPhase(kPhaseDownload, kStateRunning);
  m->ReportPhase(kPhaseApply, kStateRunning);
  m->ReportPhase(kPhaseDownload, kStateDone);
  EXPECT_TRUE(Log().Results().empty());
  m->ReportPhase(kPhaseApply, kStateDone);
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Log().Results());
}

TEST_F(ReportPhaseTest, UnknownPhaseChangesNothing) {
  ResetPhases();
  m->ReportPhase(7, kStateFailed);
  EXPECT_EQ(0, m->StopRequested());
  EXPECT_TRUE(Log().Results().empty());
}

TEST_F(ReportPhaseTest, ClearedResultCallbackDropsTheResult) {
  ResetPhases();
  m->ReportPhase(kPhaseDownload, kStateDone);
  m->SetResultCallback(nullptr);  // the client has gone away
  m->ReportPhase(kPhaseApply, kStateDone);
  EXPECT_TRUE(Log().Results().empty());
}

}  // namespace
}  // namespace kivro::manager_test
