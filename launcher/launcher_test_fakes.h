// Fakes for the launcher's logic tests: a manager that records what the
// launcher asks of it, and a surface that records what the window shows.
#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "launcher/stonegate_dlg.h"
#include "launcher/stonegate_surface.h"
#include "update/i_manager.h"

namespace kivro {

class FakeManager : public I_Manager {
 public:
  std::vector<std::string> calls;
  ResultFn result = nullptr;
  CountFn download_count = nullptr, apply_count = nullptr;
  FileTextFn file_name = nullptr, apply_text = nullptr;
  PercentFn file_percent = nullptr, apply_percent = nullptr;
  int32_t has_downloads = 0;
  int32_t check_started = 1;
  std::string local_base, url_base, check_path, check_url;
  int check_count = 0, start_update_count = 0, cancel_count = 0;
  // Runs inside CheckUpdate (e.g. to send the result at once).
  std::function<void()> on_check;

  void SetPatchInfo(I_PatchInfo*) override { calls.push_back("SetPatchInfo"); }
  void SetDownloader(I_Download*) override { calls.push_back("SetDownloader"); }
  void SetApplier(I_Apply*) override { calls.push_back("SetApplier"); }
  void SetDownloadCountCallback(CountFn f) override { download_count = f; calls.push_back("SetDownloadCountCallback"); }
  void SetApplyCountCallback(CountFn f) override { apply_count = f; calls.push_back("SetApplyCountCallback"); }
  void SetFileNameCallback(FileTextFn f) override { file_name = f; calls.push_back("SetFileNameCallback"); }
  void SetFilePercentCallback(PercentFn f) override { file_percent = f; calls.push_back("SetFilePercentCallback"); }
  void SetFileBytesCallback(DownloadProgressFn) override { calls.push_back("SetFileBytesCallback"); }
  void SetApplyTextCallback(FileTextFn f) override { apply_text = f; calls.push_back("SetApplyTextCallback"); }
  void SetApplyPercentCallback(PercentFn f) override { apply_percent = f; calls.push_back("SetApplyPercentCallback"); }
  void SetApplyBytesCallback(ApplyProgressFn) override { calls.push_back("SetApplyBytesCallback"); }
  void SetResultCallback(ResultFn f) override { result = f; calls.push_back("SetResultCallback"); }
  void SetPatchInfoKind(int32_t k) override { calls.push_back("SetPatchInfoKind " + std::to_string(k)); }
  void SetDownloaderKind(int32_t k) override { calls.push_back("SetDownloaderKind " + std::to_string(k)); }
  void SetTransferMethod(int32_t m) override { calls.push_back("SetTransferMethod " + std::to_string(m)); }
  void SetServerName(const char*) override { calls.push_back("SetServerName"); }
  void SetUserName(const char*) override { calls.push_back("SetUserName"); }
  void SetPassword(const char*) override { calls.push_back("SetPassword"); }
  void SetPort(int32_t) override { calls.push_back("SetPort"); }
  void SetDownloaderOption(int32_t, const char*) override { calls.push_back("SetDownloaderOption"); }
  int32_t SetSubdirMode(const char* m) override { calls.push_back(std::string("SetSubdirMode ") + m); return 0; }
  void SetLocalBase(const char* p) override { local_base = p; calls.push_back("SetLocalBase"); }
  void SetUrlBase(const char* u) override { url_base = u; calls.push_back("SetUrlBase"); }
  const char* GetVersionText() override { return ""; }
  int32_t GetMismatchCount() override { return 0; }
  void GetMismatch(int32_t, char*, int32_t*, char*) override {}
  int32_t CheckUpdate(const char* path, const char* url) override {
    ++check_count;
    check_path = path;
    check_url = url;
    calls.push_back("CheckUpdate");
    if (on_check) on_check();
    return check_started;
  }
  int32_t HasDownloads() override { return has_downloads; }
  void StartUpdate() override { ++start_update_count; calls.push_back("StartUpdate"); }
  void Cancel() override { ++cancel_count; calls.push_back("Cancel"); }
  void ResumeUpdate() override { calls.push_back("ResumeUpdate"); }
  int32_t DownloadFile(const char*, const char*) override { return 0; }
  int32_t DownloadFileAsync(const char*, const char*) override { return 0; }
  int32_t ApplyPackageAsync(const char*, const char*) override { return 0; }
  void AddVerifyRule(const char* ext, int32_t flags) override {
    calls.push_back(std::string("AddVerifyRule ") + ext + " " + std::to_string(flags));
  }
  void SetParallel(int32_t p) override { calls.push_back("SetParallel " + std::to_string(p)); }
};

// Records what the window asks of its display. RunModal initialises the
// dialog and then runs `script` (the user's and the workers' actions).
class FakeSurface : public I_StonegateSurface {
 public:
  std::mutex lock;
  std::vector<std::string> boxes;
  std::vector<std::string> announcements;
  std::vector<uint32_t> timers_set, timers_killed;
  int repaints = 0;
  int end_count = 0;
  int32_t end_result = -1;
  bool skin_ok = true;
  std::function<void(CStonegateDlg&)> script;
  // When set, RepaintNow blocks until `release_repaint` becomes true.
  bool block_repaint = false;
  bool release_repaint = false;
  bool repaint_waiting = false;
  std::condition_variable repaint_cv;

  int32_t RunModal(CStonegateDlg& dialog) override {
    dialog.OnInitDialog();
    if (script) script(dialog);
    return end_result;
  }
  void EndDialog(int32_t result) override {
    std::lock_guard<std::mutex> hold(lock);
    ++end_count;
    end_result = result;
  }
  bool LoadSkin() override { return skin_ok; }
  void SetTimer(uint32_t id, uint32_t) override { timers_set.push_back(id); }
  void KillTimer(uint32_t id) override { timers_killed.push_back(id); }
  void ButtonChanged(int32_t) override {}
  void RepaintNow() override {
    std::unique_lock<std::mutex> hold(lock);
    ++repaints;
    if (block_repaint) {
      repaint_waiting = true;
      repaint_cv.notify_all();
      repaint_cv.wait(hold, [this] { return release_repaint; });
    }
  }
  void ShowMessageBox(const char* text) override {
    std::lock_guard<std::mutex> hold(lock);
    boxes.push_back(text);
  }
  void Announce(const char* text) override {
    std::lock_guard<std::mutex> hold(lock);
    announcements.push_back(text);
  }
};

}  // namespace kivro
