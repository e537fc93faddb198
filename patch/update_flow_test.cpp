// The whole road of an update through the launcher manager, with the
// manager's own patch info and applier and a downloader that serves a
// server tree written by the release publisher.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "patch/npk/npk.h"
#include "patch/patch_info_test_support.h"
#include "patch/vrel_miniunz.h"
#include "patch/vrel_patch_info.h"
#include "update/last_error.h"
#include "update/launcher_manager.h"
#include "update/launcher_manager_testing.h"
#include "update/own_roles.h"

namespace kivro {

namespace fs = std::filesystem;

namespace patch_test {
namespace {

std::mutex g_mutex;
std::condition_variable g_cv;
std::vector<int32_t> g_results;

void OnResult(int32_t code) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_results.push_back(code);
  g_cv.notify_all();
}

constexpr int64_t kT = 1700000000;  // release file times (UTC seconds)

class UpdateFlowTest : public PatchTest {
 protected:
  void SetUp() override {
    PatchTest::SetUp();
    release_ = dir_ + "/release";
    server_ = dir_ + "/server";
    install_ = dir_ + "/install";
    downloader_ = std::make_unique<LocalServerDownloader>(server_);
    ASSERT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
    SetRoleFactory(&OwnRoleFactory());
    ASSERT_TRUE(launcher_testing::ResetLauncherManager());
    m_ = GetLauncherManager();
    m_->SetDownloader(downloader_.get());
    m_->SetPatchInfoKind(0);
    m_->SetSubdirMode("N_SUBDIR");
    m_->SetLocalBase(Win(install_).c_str());
    m_->SetUrlBase("http://127.0.0.1/dist/gobanvista/");
    m_->SetResultCallback(OnResult);
    m_->AddVerifyRule("exe", 273);
    m_->AddVerifyRule("dll", 17);
    m_->AddVerifyRule("map", 17);
    m_->SetParallel(1);
  }
  void TearDown() override {
    EXPECT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
    EXPECT_TRUE(launcher_testing::ResetLauncherManager());
    PatchTest::TearDown();
  }

  int32_t WaitResult() {
    std::unique_lock<std::mutex> lock(g_mutex);
    bool got = g_cv.wait_for(lock, std::chrono::seconds(30), [] { return !g_results.empty(); });
    int32_t r = got ? g_results.back() : -1;
    g_results.clear();
    return r;
  }
  int32_t Check() {
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_results.clear();
    }
    std::string list = Win(install_) + "\\gobanvista.vrl";
    if (m_->CheckUpdate(list.c_str(), "http://127.0.0.1/vrl/newvrl/gobanvista.vrl") == 0) return -1;
    int32_t r = WaitResult();
    EXPECT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
    return r;
  }
  int32_t Update() {
    m_->StartUpdate();
    int32_t r = WaitResult();
    EXPECT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
    return r;
  }
  // Check, then update when there is something to do: the update's result,
  // or 0 when the check found nothing.
  int32_t CheckAndUpdate() {
    int32_t r = Check();
    if (r != RESULT_CHECK_DONE) return r;
    return m_->HasDownloads() ? Update() : 0;
  }

  // The release: plain files in three folders and a package.
  void MakeRelease(const std::string& at) {
    WriteFile(at + "/Gobanvista.exe", "MZ" + std::string(3000, 'g'), kT);
    WriteFile(at + "/readme.txt", "Welcome to Gobanvista\n", kT + 60);
    WriteFile(at + "/bin/run.sh", "#!/bin/sh\nexec ./Gobanvista.exe\n", kT + 120);
    MakeExecutable(at + "/bin/run.sh");
    WriteFile(at + "/data/maps/board.map", std::string(20000, 'm') + "19x19", kT + 180);
    MakePackage(at + "/data/sound.npk", Sound(), nullptr, kT + 240);
    MakePackage(at + "/data/music.npk",
                {{"theme.ogg", std::string(3000, 't'), NPK_FLAG_COMPRESSED}}, nullptr, kT + 300);
  }
  static std::vector<EntityPlan> Sound() {
    return {
        {"voice\\hello.wav", std::string(2000, 'h'), NPK_FLAG_COMPRESSED | NPK_FLAG_ENCIPHERED, kT},
        {"click.wav", std::string(300, 'c'), 0, kT + 1},
        {"bgm.ogg", std::string(5000, 'b'), NPK_FLAG_COMPRESSED, kT + 2}};
  }
  // A copy of a release, times kept, to change into the next one.
  void CopyRelease(const std::string& from, const std::string& to) {
    fs::copy(from, to, fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(from)) {
      if (!e.is_regular_file()) continue;
      std::string target = to + e.path().string().substr(from.size());
      SetWriteTime(target, WriteTime(e.path().string()));
    }
  }
  // The installed tree holds the release: same plain files (content and
  // time), same package entities (content and flags).
  void ExpectInstalled(const std::string& release) {
    for (const auto& e : fs::recursive_directory_iterator(release)) {
      if (!e.is_regular_file()) continue;
      std::string rel = e.path().string().substr(release.size());
      std::string installed = install_ + rel;
      SCOPED_TRACE(rel);
      ASSERT_TRUE(Exists(installed));
      if (rel.size() > 4 && rel.substr(rel.size() - 4) == ".npk") {
        PackageView want = ReadPackage(e.path().string()), have = ReadPackage(installed);
        ASSERT_TRUE(have.opened);
        std::vector<std::string> a = want.names, b = have.names;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b);
        for (const std::string& n : want.names) {
          EXPECT_TRUE(have.Content(n) == want.Content(n)) << n;
          EXPECT_EQ(have.Flags(n), want.Flags(n)) << n;
        }
        EXPECT_EQ(std::vector<uint32_t>(have.key, have.key + 4),
                  std::vector<uint32_t>(want.key, want.key + 4));
        continue;
      }
      EXPECT_TRUE(ReadFile(installed) == ReadFile(e.path().string()));
      EXPECT_EQ(WriteTime(installed), WriteTime(e.path().string()));
    }
  }
  // Archives fetched (the list itself left out).
  std::vector<std::string> FetchedArchives() {
    std::vector<std::string> out;
    for (const std::string& p : downloader_->Fetched())
      if (p.find("/vrl/") == std::string::npos) out.push_back(p);
    std::sort(out.begin(), out.end());
    return out;
  }
  void InstallFirstRelease() {
    MakeRelease(release_);
    Publish(release_, server_);
    ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_DONE);
    downloader_->Clear();
  }

  std::string release_, server_, install_;
  std::unique_ptr<LocalServerDownloader> downloader_;
  CLauncherManager* m_ = nullptr;
};

TEST_F(UpdateFlowTest, FreshInstallThenNothingToDo) {
  MakeRelease(release_);
  Publish(release_, server_);
  ASSERT_EQ(Check(), RESULT_CHECK_DONE);
  ASSERT_EQ(m_->HasDownloads(), 1);
  ASSERT_EQ(Update(), RESULT_UPDATE_DONE);
  ExpectInstalled(release_);
  EXPECT_TRUE(IsExecutable(install_ + "/bin/run.sh"));
  // Whole packages are fetched, not their entities; archives and the
  // staging folder are gone.
  EXPECT_EQ(FetchedArchives(),
            (std::vector<std::string>{
                "/dist/gobanvista/Gobanvista.exe.zip", "/dist/gobanvista/board.map.zip",
                "/dist/gobanvista/data/music.npk.zip", "/dist/gobanvista/data/sound.npk.zip",
                "/dist/gobanvista/readme.txt.zip", "/dist/gobanvista/run.sh.zip"}));
  EXPECT_FALSE(Exists(install_ + "/__npk_entity"));
  for (const auto& e : fs::recursive_directory_iterator(install_))
    EXPECT_NE(e.path().extension(), ".zip") << e.path();

  downloader_->Clear();
  ASSERT_EQ(Check(), RESULT_CHECK_DONE);
  EXPECT_EQ(m_->HasDownloads(), 0);
  EXPECT_TRUE(FetchedArchives().empty());
}

TEST_F(UpdateFlowTest, UpdateFetchesOnlyChangedFilesAndEntities) {
  InstallFirstRelease();
  std::string next = dir_ + "/release2";
  CopyRelease(release_, next);
  WriteFile(next + "/readme.txt", "Welcome to Gobanvista 2\n", kT + 4000);
  WriteFile(next + "/data/maps/board.map", std::string(20000, 'M') + "13x13", kT + 4000);
  std::vector<EntityPlan> sound = Sound();
  sound[1] = {"click.wav", std::string(310, 'C'), 0, kT + 4001};
  sound.push_back({"voice\\new.wav", std::string(700, 'n'), NPK_FLAG_ENCIPHERED, kT + 4002});
  MakePackage(next + "/data/sound.npk", sound, nullptr, kT + 4003);
  Publish(next, server_, release_);

  ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_DONE);
  ExpectInstalled(next);
  EXPECT_EQ(FetchedArchives(),
            (std::vector<std::string>{
                "/dist/gobanvista/__npk_entity/data/sound.npk_npk/click.wav.zip",
                "/dist/gobanvista/__npk_entity/data/sound.npk_npk/voice^new.wav.zip",
                "/dist/gobanvista/board.map.zip", "/dist/gobanvista/readme.txt.zip"}));
  EXPECT_FALSE(Exists(install_ + "/__npk_entity"));
  downloader_->Clear();
  ASSERT_EQ(Check(), RESULT_CHECK_DONE);
  EXPECT_EQ(m_->HasDownloads(), 0);
}

TEST_F(UpdateFlowTest, FlagsOnlyEntityChangeFetchesNothing) {
  InstallFirstRelease();
  std::string next = dir_ + "/release2";
  CopyRelease(release_, next);
  std::vector<EntityPlan> sound = Sound();
  sound[2].flags = NPK_FLAG_ENCIPHERED;  // bgm.ogg: same content and time
  MakePackage(next + "/data/sound.npk", sound, nullptr, kT + 5000);
  Publish(next, server_, release_);
  ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_DONE);
  EXPECT_TRUE(FetchedArchives().empty());
  ExpectInstalled(next);
  EXPECT_EQ(ReadPackage(install_ + "/data/sound.npk").Flags("bgm.ogg"), NPK_FLAG_ENCIPHERED);
}

TEST_F(UpdateFlowTest, KeyChangeReencodesThePackageWithoutFetching) {
  InstallFirstRelease();
  std::string next = dir_ + "/release2";
  CopyRelease(release_, next);
  const uint32_t key[4] = {0x01020304, 0x05060708, 0x090a0b0c, 0x0d0e0f10};
  MakePackage(next + "/data/sound.npk", Sound(), key, kT + 6000);
  Publish(next, server_, release_);
  ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_DONE);
  EXPECT_TRUE(FetchedArchives().empty());
  ExpectInstalled(next);  // key and decoded contents
}

TEST_F(UpdateFlowTest, RemovalsOfFilesPackagesAndEntities) {
  InstallFirstRelease();
  std::string next = dir_ + "/release2";
  CopyRelease(release_, next);
  fs::remove(next + "/readme.txt");
  fs::remove(next + "/data/music.npk");
  std::vector<EntityPlan> sound = Sound();
  sound.erase(sound.begin() + 1);  // click.wav
  MakePackage(next + "/data/sound.npk", sound, nullptr, kT + 7000);
  Publish(next, server_, release_);
  ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_DONE);
  EXPECT_FALSE(Exists(install_ + "/readme.txt"));
  EXPECT_FALSE(Exists(install_ + "/data/music.npk"));
  EXPECT_EQ(ReadPackage(install_ + "/data/sound.npk").Content("click.wav"), "<missing>");
  ExpectInstalled(next);
  downloader_->Clear();
  ASSERT_EQ(Check(), RESULT_CHECK_DONE);
  EXPECT_EQ(m_->HasDownloads(), 0);
}

TEST_F(UpdateFlowTest, ExeTamperedOnDiskIsFetchedAgain) {
  InstallFirstRelease();
  std::string exe = install_ + "/Gobanvista.exe";
  int64_t time = WriteTime(exe);
  std::string bytes = ReadFile(exe);
  bytes[100] = 'X';  // same size, same time, another byte sum
  WriteFile(exe, bytes, time);
  ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_DONE);
  EXPECT_EQ(FetchedArchives(), std::vector<std::string>{"/dist/gobanvista/Gobanvista.exe.zip"});
  ExpectInstalled(release_);
}

TEST_F(UpdateFlowTest, ExeThatDoesNotMatchTheListAfterInstallGivesResult6) {
  MakeRelease(release_);
  Publish(release_, server_);
  // The server's archive was tampered with: same name and size, other bytes.
  std::string tampered = "MZ" + std::string(2999, 'g') + "!";
  MakeZip(server_ + "/dist/gobanvista/Gobanvista.exe.zip", {{"Gobanvista.exe", tampered}});
  SetLastErrorInfo(0, 0, nullptr);
  ASSERT_EQ(CheckAndUpdate(), RESULT_FILES_TAMPERED);
  EXPECT_EQ(LastErrorCode(), kInstalledFilesMismatch);
}

TEST_F(UpdateFlowTest, CorruptArchiveFailsWithoutAHalfInstalledFile) {
  MakeRelease(release_);
  Publish(release_, server_);
  std::string zip = server_ + "/dist/gobanvista/board.map.zip";
  std::string bytes = ReadFile(zip);
  bytes[30 + 9 + 20] ^= 0x5a;  // inside the deflated data of board.map
  WriteFile(zip, bytes);
  m_->SetParallel(0);  // one record after the other: the failure is board.map's
  SetLastErrorInfo(0, 0, nullptr);
  ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_FAILED);
  EXPECT_LT(LastErrorCode(), 0);
  EXPECT_FALSE(Exists(install_ + "/data/maps/board.map"));
  // The next check still wants it.
  ASSERT_EQ(Check(), RESULT_CHECK_DONE);
  EXPECT_EQ(m_->HasDownloads(), 1);
}

TEST_F(UpdateFlowTest, ArchiveEntriesLeavingTheFolderAreRefused) {
  MakeRelease(release_);
  Publish(release_, server_);
  MakeZip(server_ + "/dist/gobanvista/readme.txt.zip",
          {{"../../escape.txt", "out"}, {"readme.txt", "in"}});
  SetLastErrorInfo(0, 0, nullptr);
  ASSERT_EQ(CheckAndUpdate(), RESULT_UPDATE_FAILED);
  EXPECT_EQ(LastErrorCode(), kUnzEntryNameRefused);
  EXPECT_FALSE(Exists(dir_ + "/escape.txt"));
  EXPECT_FALSE(Exists(install_ + "/escape.txt"));
  EXPECT_FALSE(Exists(fs::path(dir_).parent_path().string() + "/escape.txt"));
}

TEST_F(UpdateFlowTest, ListNamesLeavingTheFolderFailTheCheck) {
  WriteFile(server_ + "/vrl/newvrl/gobanvista.vrl",
            "[INSTALL]\n/..\nescape.txt\t1\t1\t1\t20070101-000000\n");
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(Check(), RESULT_CHECK_FAILED);
  EXPECT_EQ(LastErrorCode(), kPatchListUnsafeName);
  EXPECT_EQ(m_->HasDownloads(), 0);
}

}  // namespace
}  // namespace patch_test

}  // namespace kivro
