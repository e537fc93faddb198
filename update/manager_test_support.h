// Role objects and waiting helpers for the manager tests. The fakes record
// what the manager asks of them and can hold a call until the test lets it
// go (or the manager's cancel check asks to stop), so the tests can put the
// workers in a known place without sleeping.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "patch/vrel_apply_info.h"
#include "update/i_manager.h"
#include "update/roles.h"
#include "update/work_lists.h"

namespace kivro::manager_test {

constexpr auto kWait = std::chrono::seconds(20);  // far above any real wait

// A flag that one thread raises and others wait for.
class Signal {
 public:
  void Raise() {
    std::lock_guard<std::mutex> lock(mutex_);
    raised_ = true;
    cv_.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, kWait, [this] { return raised_; });
  }
  // Waits until raised or `stop` answers 1: true when raised. The cancel
  // check is polled, as the real engines poll it between chunks.
  bool WaitOrStop(CancelCheckFn stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!raised_) {
      if (stop != nullptr && stop() == 1) return false;
      if (std::chrono::steady_clock::now() > deadline) return false;
      cv_.wait_for(lock, std::chrono::milliseconds(2));
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool raised_ = false;
};

// Everything the manager's callbacks deliver.
struct CallbackLog {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<int32_t> results;
  std::vector<std::pair<int32_t, int32_t>> download_counts;
  std::vector<std::pair<int32_t, int32_t>> apply_counts;
  std::vector<std::string> file_names;
  std::vector<std::pair<int32_t, int32_t>> apply_bytes;
  std::vector<int32_t> apply_percents;

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    results.clear();
    download_counts.clear();
    apply_counts.clear();
    file_names.clear();
    apply_bytes.clear();
    apply_percents.clear();
  }
  bool WaitForResults(size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, kWait, [&] { return results.size() >= count; });
  }
  std::vector<int32_t> Results() {
    std::lock_guard<std::mutex> lock(mutex);
    return results;
  }
};

CallbackLog& Log();
// Plain-function callbacks writing into Log().
void OnResult(int32_t code);
void OnDownloadCount(int32_t total, int32_t done);
void OnApplyCount(int32_t total, int32_t done);
void OnFileName(const char* path);
void OnApplyBytes(int32_t total, int32_t done);
void OnApplyPercent(int32_t percent);

// One item the fake patch info puts on the download list. The apply record
// is a CVrelApplyInfo whose source path is `name`, so applied records can be
// told apart.
struct ItemPlan {
  int32_t kind;
  std::string name;
  bool with_record = true;
};

class FakePatchInfo final : public I_PatchInfo {
 public:
  ~FakePatchInfo() { ++destroyed; }
  int32_t SetSubdirMode(const char* mode) override {
    subdir_mode = mode;
    return 0;
  }
  void SetLocalBase(const char* folder) override { local_base = folder; }
  void SetUrlBase(const char* url) override { url_base = url; }
  void SetDownloadList(CBDownloadList* list) override { list_ = list; }
  void AddVerifyRule(const char* extension, int32_t) override { rules.push_back(extension); }
  int32_t ReadList(const char* local_path) override {
    ++read_calls;
    read_path = local_path;
    return read_result;
  }
  int32_t BuildDownloadList() override {
    ++build_calls;
    for (const ItemPlan& plan : items) {
      auto* item = new CBDownloadFileInfo();
      item->kind = plan.kind;
      if (plan.kind == 1) {
        item->size = 1000;
        snprintf(item->local_path, sizeof item->local_path, "C:\\game\\%s.zip", plan.name.c_str());
        snprintf(item->url, sizeof item->url, "http://dl.test/dist/%s.zip", plan.name.c_str());
      }
      if (plan.with_record) {
        auto* record = new CVrelApplyInfo();
        record->apply_kind = kApplyUnpackFile;
        snprintf(record->source_path, sizeof record->source_path, "%s", plan.name.c_str());
        item->apply_record = record;
      }
      list_->Add(item);
    }
    return build_result;
  }
  int32_t Verify() override {
    verify_after_uninstall = uninstall_calls.load() > 0;
    ++verify_calls;
    return verify_result;
  }
  void Uninstall() override { ++uninstall_calls; }
  int32_t GetItemCount() override { return list_ != nullptr ? list_->GetCount() : 0; }
  int32_t GetItemTotal() override { return list_ != nullptr ? list_->GetCount() : 0; }
  const char* GetVersionText() override { return "1.2.3"; }
  int32_t GetMismatchCount() override { return 0; }
  void GetMismatch(int32_t, char* path, int32_t* value, char* note) override {
    path[0] = '\0';
    *value = 0;
    note[0] = '\0';
  }
  void Release() override {
    ++released;
    if (owned_by_manager) delete this;
  }

  // Configuration.
  std::vector<ItemPlan> items;
  int32_t read_result = 0;
  int32_t build_result = 0;
  int32_t verify_result = 0;
  bool owned_by_manager = false;
  // Record.
  std::string subdir_mode, local_base, url_base, read_path;
  std::vector<std::string> rules;
  std::atomic<int> read_calls{0}, build_calls{0}, verify_calls{0}, uninstall_calls{0};
  std::atomic<bool> verify_after_uninstall{false};
  static inline std::atomic<int> destroyed{0};
  static inline std::atomic<int> released{0};

 private:
  CBDownloadList* list_ = nullptr;
};

class FakeDownloader : public I_Download {
 public:
  ~FakeDownloader() override { ++destroyed; }
  void SetOption(int32_t which, const char* value) override {
    Note("option " + std::to_string(which) + " " + value);
  }
  void SetCancelCheck(CancelCheckFn check) override { cancel_check = check; }
  void SetProgressCallback(DownloadProgressFn callback) override { progress = callback; }
  void SetPercentCallback(PercentFn callback) override { percent = callback; }
  int32_t OpenUrlSession(const char* agent) override {
    Note(std::string("open url ") + agent);
    return open_result;
  }
  int32_t DownloadUrl(const char* path, const char* url, int32_t reserved) override {
    return Fetch("url", path, url, reserved);
  }
  void CloseUrlSession() override { Note("close url"); }
  int32_t ConnectHttp(const char* agent, const char* server, const char* user,
                      const char* password, int32_t port) override {
    return Connect("http", agent, server, user, password, port);
  }
  int32_t DownloadHttp(const char* path, const char* url, int32_t reserved) override {
    return Fetch("http", path, url, reserved);
  }
  void CloseHttp() override { Note("close http"); }
  int32_t ConnectFtp(const char* agent, const char* server, const char* user,
                     const char* password, int32_t port) override {
    return Connect("ftp", agent, server, user, password, port);
  }
  int32_t DownloadFtp(const char* path, const char* url, int32_t reserved) override {
    return Fetch("ftp", path, url, reserved);
  }
  void CloseFtp() override { Note("close ftp"); }
  int32_t ConnectFtpResume(const char* agent, const char* server, const char* user,
                           const char* password, int32_t port) override {
    return Connect("ftpresume", agent, server, user, password, port);
  }
  int32_t DownloadFtpResume(const char* path, const char* url, int32_t reserved) override {
    return Fetch("ftpresume", path, url, reserved);
  }
  void CloseFtpResume() override { Note("close ftpresume"); }
  void Release() override { delete this; }

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  std::vector<std::string> FetchedUrls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fetched_;
  }

  // Configuration (set before the manager runs).
  int32_t open_result = 0;
  std::string fail_url;          // fetching it answers fail_result
  int32_t fail_result = 35;
  Signal* fail_after = nullptr;  // ... once this signal is raised
  std::string hold_url;          // fetching it waits for `release` or a stop
  int hold_times = 1;            // how many fetches of hold_url are held
  Signal held;                   // raised when a fetch of hold_url is held
  Signal release;
  std::atomic<CancelCheckFn> cancel_check{nullptr};
  std::atomic<DownloadProgressFn> progress{nullptr};
  std::atomic<PercentFn> percent{nullptr};
  static inline std::atomic<int> destroyed{0};

 private:
  void Note(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
  }
  int32_t Connect(const char* method, const char* agent, const char* server, const char* user,
                  const char* password, int32_t port) {
    Note(std::string("open ") + method + " " + agent + " " + server + " " + user + " " +
         password + " " + std::to_string(port));
    return open_result;
  }
  int32_t Fetch(const char* method, const char* path, const char* url, int32_t reserved) {
    Note(std::string("fetch ") + method + " " + path + " " + url + " " + std::to_string(reserved));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fetched_.push_back(url);
    }
    if (url == hold_url && hold_times > 0) {
      --hold_times;
      held.Raise();
      if (!release.WaitOrStop(cancel_check.load())) return 1;
    }
    if (url == fail_url) {
      if (fail_after != nullptr) fail_after->Wait();
      return fail_result;
    }
    return 0;
  }

  std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<std::string> fetched_;
};

class FakeApplier : public I_Apply {
 public:
  ~FakeApplier() override { ++destroyed; }
  void SetCancelCallback(CancelCheckFn check) override { cancel_check = check; }
  void SetFileCallback(FileTextFn callback) override { file_callback = callback; }
  void SetProgressCallback(ApplyProgressFn callback) override { progress = callback; }
  void SetPercentCallback(PercentFn callback) override { percent = callback; }
  int32_t Apply(CBApplyFileInfo* record) override {
    auto* vrel = dynamic_cast<CVrelApplyInfo*>(record);
    std::string name = vrel != nullptr ? vrel->source_path : "?";
    {
      std::lock_guard<std::mutex> lock(mutex_);
      applied_.push_back(name);
      if (vrel != nullptr) {
        last_kind_ = vrel->apply_kind;
        last_destination_ = vrel->destination_folder;
      }
    }
    entered.Raise();
    if (name == hold_name) {
      if (!release.WaitOrStop(cancel_check.load())) return 1;
    }
    return apply_result;
  }
  int32_t Finish() override {
    ++finish_calls;
    return finish_result;
  }
  void Release() override { delete this; }

  std::vector<std::string> Applied() {
    std::lock_guard<std::mutex> lock(mutex_);
    return applied_;
  }
  int32_t LastKind() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_kind_;
  }
  std::string LastDestination() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_destination_;
  }

  int32_t apply_result = 0;
  int32_t finish_result = 0;
  std::string hold_name;  // applying it waits for `release` or a stop
  Signal entered;         // raised on every Apply
  Signal release;
  std::atomic<CancelCheckFn> cancel_check{nullptr};
  std::atomic<FileTextFn> file_callback{nullptr};
  std::atomic<ApplyProgressFn> progress{nullptr};
  std::atomic<PercentFn> percent{nullptr};
  std::atomic<int> finish_calls{0};
  static inline std::atomic<int> destroyed{0};

 private:
  std::mutex mutex_;
  std::vector<std::string> applied_;
  int32_t last_kind_ = 0;
  std::string last_destination_;
};

}  // namespace kivro::manager_test
