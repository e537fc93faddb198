// Test support for the patch info, applier and publisher tests: a fresh
// virtual root and work folder per test, release folders with packages
// built through the package code, publishing with kivro-publish's core, and
// a downloader that serves URLs from a local server tree (as nginx would
// serve the same tree).
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "patch/npk/npk.h"
#include "platform/thread.h"
#include "update/roles.h"
#include "update/work_lists.h"

namespace kivro::patch_test {

// Every test gets its own KIVRO_ROOT and a work folder `dir_` (POSIX) seen
// by the system as `Win(dir_)`.
class PatchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string dir_;
  std::string root_;
};

// The system's Windows name of a POSIX path.
std::string Win(const std::string& posix);

// A patch info of type `Info` for an install folder `install_` (seen as
// `base_`), queueing into `list_`; lists are read from the work folder
// under `list_name`.
template <class Info>
class PatchInfoTest : public PatchTest {
 protected:
  PatchInfoTest(const char* url_base, const char* subdir_mode, const char* list_name)
      : url_base_(url_base), subdir_mode_(subdir_mode), list_name_(list_name) {}
  void SetUp() override {
    PatchTest::SetUp();
    install_ = dir_ + "/install";
    std::filesystem::create_directories(install_);
    base_ = Win(install_);
    list_.SetLock(&lock_);
    info_.SetDownloadList(&list_);
    info_.SetLocalBase(base_.c_str());
    info_.SetUrlBase(url_base_);
    info_.SetSubdirMode(subdir_mode_);
  }
  void ReadList(const std::string& text);
  std::string install_, base_;
  platform::CriticalSection lock_;
  CBDownloadList list_;
  Info info_;

 private:
  const char* url_base_;
  const char* subdir_mode_;
  const char* list_name_;
};

// Files by POSIX path. `utc` (seconds) sets the last-write time when given.
void WriteFile(const std::string& posix, const std::string& content, int64_t utc = -1);

template <class Info>
void PatchInfoTest<Info>::ReadList(const std::string& text) {
  std::string path = this->dir_ + "/" + list_name_;
  WriteFile(path, text);
  ASSERT_EQ(info_.ReadList(Win(path).c_str()), 0);
}
std::string ReadFile(const std::string& posix);
bool Exists(const std::string& posix);
void SetWriteTime(const std::string& posix, int64_t utc);
int64_t WriteTime(const std::string& posix);  // UTC seconds
bool IsExecutable(const std::string& posix);
void MakeExecutable(const std::string& posix);

struct EntityPlan {
  std::string name;  // '\' between folders inside the package
  std::string content;
  uint32_t flags = 0;
  int64_t utc = 1700000000;  // the entity's modification time
};
// Builds a version-18 package at `posix` holding the entities (in order),
// with `key` (null: the default key); its own last-write time is `utc`.
void MakePackage(const std::string& posix, const std::vector<EntityPlan>& entities,
                 const uint32_t* key = nullptr, int64_t utc = 1700000000);
// Decoded content of every entity of an installed package, by name, and
// the package's key and the flags of each entity.
struct PackageView {
  bool opened = false;
  uint32_t key[4] = {};
  std::vector<std::string> names;
  std::vector<std::string> contents;
  std::vector<uint32_t> flags;
  std::string Content(const std::string& name) const;
  uint32_t Flags(const std::string& name) const;
};
PackageView ReadPackage(const std::string& posix);

// Publishes a release folder into a server folder (POSIX paths). Fails the
// test on error.
void Publish(const std::string& release, const std::string& server,
             const std::string& previous = std::string(), bool per_directory = false,
             const std::string& list_patch_version = std::string());

// Writes a zip archive with the given entries (name -> content); `unix_mode`
// nonzero marks entries as made on Unix with those permission bits.
struct ZipEntryPlan {
  std::string name;
  std::string content;
  uint32_t unix_mode = 0644;
};
void MakeZip(const std::string& posix, const std::vector<ZipEntryPlan>& entries);

// Serves every URL "scheme://host/path" from `server_root/path` (POSIX),
// percent escapes decoded and repeated slashes merged. Records the paths
// fetched. 33 (not found) for a missing file.
class LocalServerDownloader : public I_Download {
 public:
  explicit LocalServerDownloader(std::string server_root) : root_(std::move(server_root)) {}
  void SetOption(int32_t, const char*) override {}
  void SetCancelCheck(CancelCheckFn check) override { cancel_ = check; }
  void SetProgressCallback(DownloadProgressFn) override {}
  void SetPercentCallback(PercentFn) override {}
  int32_t OpenUrlSession(const char*) override { return 0; }
  int32_t DownloadUrl(const char* local_path, const char* url, int32_t) override;
  void CloseUrlSession() override {}
  int32_t ConnectHttp(const char*, const char*, const char*, const char*, int32_t) override {
    return 0;
  }
  int32_t DownloadHttp(const char* l, const char* u, int32_t r) override {
    return DownloadUrl(l, u, r);
  }
  void CloseHttp() override {}
  int32_t ConnectFtp(const char*, const char*, const char*, const char*, int32_t) override {
    return 0;
  }
  int32_t DownloadFtp(const char* l, const char* u, int32_t r) override {
    return DownloadUrl(l, u, r);
  }
  void CloseFtp() override {}
  int32_t ConnectFtpResume(const char*, const char*, const char*, const char*, int32_t) override {
    return 0;
  }
  int32_t DownloadFtpResume(const char* l, const char* u, int32_t r) override {
    return DownloadUrl(l, u, r);
  }
  void CloseFtpResume() override {}
  void Release() override {}

  // Server paths fetched since the last Clear ("/dist/gobanvista/a.zip").
  std::vector<std::string> Fetched();
  void Clear();

 private:
  std::string root_;
  CancelCheckFn cancel_ = nullptr;
  std::mutex mutex_;
  std::vector<std::string> fetched_;
};

}  // namespace kivro::patch_test
