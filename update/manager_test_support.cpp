#include "update/manager_test_support.h"

namespace kivro::manager_test {

CallbackLog& Log() {
  static CallbackLog log;
  return log;
}

void OnResult(int32_t code) {
  CallbackLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.results.push_back(code);
  log.cv.notify_all();
}

void OnDownloadCount(int32_t total, int32_t done) {
  std::lock_guard<std::mutex> lock(Log().mutex);
  Log().download_counts.emplace_back(total, done);
}

void OnApplyCount(int32_t total, int32_t done) {
  std::lock_guard<std::mutex> lock(Log().mutex);
  Log().apply_counts.emplace_back(total, done);
}

void OnFileName(const char* path) {
  std::lock_guard<std::mutex> lock(Log().mutex);
  Log().file_names.emplace_back(path);
}

void OnApplyBytes(int32_t total, int32_t done) {
  std::lock_guard<std::mutex> lock(Log().mutex);
  Log().apply_bytes.emplace_back(total, done);
}

void OnApplyPercent(int32_t percent) {
  std::lock_guard<std::mutex> lock(Log().mutex);
  Log().apply_percents.push_back(percent);
}

}  // namespace kivro::manager_test
