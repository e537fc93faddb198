// Shared by the CNet tests: callback recorders (the callbacks are plain
// functions, so they record into process-wide state) and file helpers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "transfer/net.h"
#include "transfer/test_support/test_servers.h"
#include "update/last_error.h"

namespace kivro::net_test {

struct Recorder {
  std::vector<std::pair<uint32_t, uint32_t>> progress;  // (total, received)
  std::vector<int32_t> percents;
  int cancel_calls = 0;
  int cancel_after = -1;  // the cancel check answers 1 on this call (0-based); -1 never
};

inline Recorder& Rec() {
  static Recorder r;
  return r;
}

inline void OnProgress(uint32_t total, uint32_t received) {
  Rec().progress.emplace_back(total, received);
}
inline void OnPercent(int32_t percent) { Rec().percents.push_back(percent); }
inline int32_t OnCancel() {
  int call = Rec().cancel_calls++;
  return Rec().cancel_after >= 0 && call >= Rec().cancel_after ? 1 : 0;
}

// Installs the recorders on a fresh engine with a short receive time-out.
inline void Wire(CNet* net, uint32_t timeout_ms = 2000) {
  Rec() = Recorder();
  net->SetCancelCheck(OnCancel);
  net->SetProgressCallback(OnProgress);
  net->SetPercentCallback(OnPercent);
  net->SetReceiveTimeout(timeout_ms);
  SetLastErrorInfo(0, 0, nullptr);
}

inline std::string LastErrorText() { return GetLastErrorInfo().text; }

}  // namespace kivro::net_test
