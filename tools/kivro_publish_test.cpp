#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "patch/npk/npk.h"
#include "patch/patch_info_test_support.h"
#include "patch/pul_patch_info.h"
#include "patch/vrel_base.h"
#include "patch/vrel_miniunz.h"
#include "platform/testing/host_command.h"
#include "platform/thread.h"
#include "tools/kivro_publish_torrent.h"
#include "tools/kivro_publish_writer.h"
#include "transfer/swarmlet_meta.h"

namespace kivro {

namespace fs = std::filesystem;

namespace patch_test {
namespace {

constexpr int64_t kT = 1710000000;

class PublishTest : public PatchTest {
 protected:
  void SetUp() override {
    PatchTest::SetUp();
    release_ = dir_ + "/release";
    server_ = dir_ + "/server";
    WriteFile(release_ + "/Gobanvista.exe", "MZ" + std::string(500, 'x'), kT);
    WriteFile(release_ + "/data/board.map", "19x19", kT + 61);
    WriteFile(release_ + "/bin/start.sh", "#!/bin/sh\n", kT + 122);
    MakeExecutable(release_ + "/bin/start.sh");
    MakePackage(
        release_ + "/data/sound.npk",
        {{"voice\\hi.wav", std::string(900, 'h'), NPK_FLAG_COMPRESSED | NPK_FLAG_ENCIPHERED, kT},
         {"click.wav", "click", 0, kT + 1}},
        nullptr, kT + 183);
  }
  bool TryPublish(const std::string& server, std::string* error, bool per_directory = false,
                  const std::string& previous = "", const std::string& version = "") {
    PublishOptions options;
    options.release_dir = Win(release_);
    options.server_dir = Win(server);
    options.per_directory = per_directory;
    if (!previous.empty()) options.previous_dir = Win(previous);
    options.list_patch_version = version;
    PublishSummary summary;
    return kivro::Publish(options, &summary, error);
  }
  std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_regular_file())
        files[e.path().generic_string().substr(root.size())] = ReadFile(e.path().string());
    return files;
  }
  std::string release_, server_;
};

TEST_F(PublishTest, SameReleaseGivesTheSameBytes) {
  std::string error;
  ASSERT_TRUE(TryPublish(server_, &error)) << error;
  ASSERT_TRUE(TryPublish(dir_ + "/server2", &error)) << error;
  auto a = Tree(server_), b = Tree(dir_ + "/server2");
  EXPECT_EQ(a.size(), b.size());
  EXPECT_TRUE(a == b);
  EXPECT_EQ(a.count("/vrl/newvrl/gobanvista.vrl"), 1u);
  EXPECT_EQ(a.count("/dist/gobanvista/Gobanvista.exe.zip"), 1u);
  EXPECT_EQ(a.count("/dist/gobanvista/start.sh.zip"), 1u);
  EXPECT_EQ(a.count("/dist/gobanvista/data/sound.npk.zip"), 1u);
  EXPECT_EQ(a.count("/dist/gobanvista/__npk_entity/data/sound.npk_npk/voice^hi.wav.zip"), 1u);
  EXPECT_EQ(a.count("/dist/gobanvista/__npk_entity/data/sound.npk_npk/click.wav.zip"), 1u);
}

TEST_F(PublishTest, ListReadsBackToTheRelease) {
  std::string error;
  ASSERT_TRUE(TryPublish(server_, &error)) << error;
  CVrelBase list;
  ASSERT_TRUE(list.Read(Win(server_ + "/vrl/newvrl/gobanvista.vrl").c_str()));
  EXPECT_EQ(list.project_name, "gobanvista");
  std::map<std::string, const VrelFileRecord*> files;
  for (const auto& dir : list.install_directories)
    for (const VrelFileRecord& f : dir->files) files[std::string(dir->path) + "|" + f.name] = &f;
  ASSERT_EQ(files.size(), 3u);
  const VrelFileRecord* map = files["\\data|board.map"];
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->size, 5u);
  EXPECT_EQ(map->checksum, uint32_t('1' + '9' + 'x' + '1' + '9'));
  EXPECT_EQ(map->time, platform::UtcSecondsToLocal(kT + 61));
  EXPECT_EQ(map->archive_size, fs::file_size(server_ + "/dist/gobanvista/board.map.zip"));

  ASSERT_EQ(list.package_install_bags.size(), 1u);
  const CNpkPackage& package = *list.package_install_bags[0]->packages.at(0);
  EXPECT_STREQ(package.name, "sound.npk");
  EXPECT_EQ(package.header.version, 18u);
  EXPECT_EQ(package.header.key[0], 77u);
  ASSERT_EQ(package.entities.size(), 2u);
  // Each entity archive holds the entity's plain content under its listed name.
  for (const auto& e : package.entities) {
    std::string listed = e->name;
    std::string out = dir_ + "/unpacked";
    CVrelMiniunz unz(nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(unz.ExtractArchive(Win(server_ + "/dist/gobanvista/__npk_entity/data/sound.npk_npk/" +
                                     listed + ".zip")
                                     .c_str(),
                                 Win(out).c_str()),
              0);
    std::string content = ReadFile(out + "/" + listed);
    EXPECT_EQ(content.size(), e->info.unpacked_size);
    EXPECT_EQ(content.size(), e->size);
  }
  EXPECT_STREQ(package.entities[0]->name, "voice^hi.wav");
  EXPECT_EQ(package.entities[0]->info.flags, NPK_FLAG_COMPRESSED | NPK_FLAG_ENCIPHERED);
}

TEST_F(PublishTest, FlatUrlsRefuseOneNameInTwoFolders) {
  WriteFile(release_ + "/maps/Board.map", "other", kT);
  std::string error;
  EXPECT_FALSE(TryPublish(server_, &error));
  EXPECT_NE(error.find("board.map"), std::string::npos) << error;
  EXPECT_NE(error.find("Board.map"), std::string::npos) << error;
  EXPECT_FALSE(Exists(server_ + "/vrl/newvrl/gobanvista.vrl"));
  // Per-directory URLs keep them apart.
  ASSERT_TRUE(TryPublish(server_, &error, true)) << error;
  EXPECT_TRUE(Exists(server_ + "/dist/gobanvista/maps/Board.map.zip"));
  EXPECT_TRUE(Exists(server_ + "/dist/gobanvista/data/board.map.zip"));
}

TEST_F(PublishTest, RefusesNamesTheListsCannotCarry) {
  for (const std::string& bad :
       {std::string("/a,b.txt"), std::string("/!note.txt"), std::string("/__npk_entity/x.txt"),
        std::string("/gobanvista.vrl"), std::string("/data/BOARD.MAP"),
        std::string("/" + std::string(100, 'n'))}) {
    SCOPED_TRACE(bad);
    // A case-blind file system (Windows) finds "BOARD.MAP" as the release's
    // own "board.map": there is no second name to refuse.
    if (fs::exists(release_ + bad)) continue;
    WriteFile(release_ + bad, "x", kT);
    std::string error;
    EXPECT_FALSE(TryPublish(server_, &error));
    EXPECT_FALSE(error.empty());
    fs::remove(release_ + bad);
  }
}

TEST_F(PublishTest, PreviousReleaseGivesRemovals) {
  std::string previous = dir_ + "/previous";
  WriteFile(previous + "/old.txt", "old", kT);
  WriteFile(previous + "/data/board.map", "19x19", kT + 61);
  MakePackage(previous + "/data/gone.npk", {{"x.wav", "xxxx", 0}});
  MakePackage(previous + "/data/sound.npk",
              {{"voice\\hi.wav", "h", 0}, {"voice\\bye.wav", "b", 0}, {"click.wav", "c", 0}});
  std::string error;
  ASSERT_TRUE(TryPublish(server_, &error, false, previous)) << error;
  CVrelBase list;
  ASSERT_TRUE(list.Read(Win(server_ + "/vrl/newvrl/gobanvista.vrl").c_str()));
  ASSERT_EQ(list.uninstall_directories.size(), 1u);
  EXPECT_STREQ(list.uninstall_directories[0]->path, "\\");
  ASSERT_EQ(list.uninstall_directories[0]->files.size(), 1u);
  EXPECT_STREQ(list.uninstall_directories[0]->files[0].name, "old.txt");
  ASSERT_EQ(list.package_uninstall_bags.size(), 1u);
  const auto& bag = *list.package_uninstall_bags[0];
  ASSERT_EQ(bag.packages.size(), 2u);
  EXPECT_STREQ(bag.packages[0]->name, "gone.npk");
  EXPECT_TRUE(bag.packages[0]->entities.empty());
  EXPECT_STREQ(bag.packages[1]->name, "sound.npk");
  ASSERT_EQ(bag.packages[1]->entities.size(), 1u);
  EXPECT_STREQ(bag.packages[1]->entities[0]->name, "voice^bye.wav");
}

TEST_F(PublishTest, ListPatchFormatCarriesEarlierVersions) {
  std::string error;
  ASSERT_TRUE(TryPublish(server_, &error, false, "", "1.0.1")) << error;
  std::string first = release_ + "-1";
  fs::copy(release_, first, fs::copy_options::recursive);
  for (const auto& e : fs::recursive_directory_iterator(release_))
    if (e.is_regular_file())
      SetWriteTime(first + e.path().string().substr(release_.size()), WriteTime(e.path().string()));
  WriteFile(release_ + "/data/board.map", "13x13!", kT + 999);
  ASSERT_TRUE(TryPublish(server_, &error, false, first, "1.0.2")) << error;

  CPulPatchInfo pul;
  platform::CriticalSection lock;
  CBDownloadList items;
  items.SetLock(&lock);
  pul.SetDownloadList(&items);
  pul.SetLocalBase("C:\\game");
  pul.SetUrlBase("http://127.0.0.1/dist/gobanvista");
  pul.SetSubdirMode("1.0.1");
  ASSERT_EQ(pul.ReadList(Win(server_ + "/vrl/newvrl/gobanvista.pul").c_str()), 0);
  EXPECT_STREQ(pul.GetVersionText(), "1.0.2");
  ASSERT_EQ(pul.entries.size(), 2u);
  ASSERT_EQ(pul.BuildDownloadList(), 0);
  ASSERT_EQ(items.GetCount(), 1);
  EXPECT_STREQ(items.GetAt(0)->url, "http://127.0.0.1/dist/gobanvista/patch_1.0.2.zip");
  // The second patch holds the changed file only; the later section wins.
  std::string out = dir_ + "/unpacked";
  CVrelMiniunz unz(nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(unz.ExtractArchive(Win(server_ + "/dist/gobanvista/patch_1.0.2.zip").c_str(),
                               Win(out).c_str()),
            0);
  EXPECT_EQ(ReadFile(out + "/data/board.map"), "13x13!");
  EXPECT_FALSE(Exists(out + "/Gobanvista.exe"));
  int board = 0;
  for (const auto& f : pul.files)
    if (std::string(f->name) == "board.map") {
      ++board;
      EXPECT_EQ(f->size, 6u);
      EXPECT_STREQ(f->directory, "/data");
    }
  EXPECT_EQ(board, 1);
}

TEST_F(PublishTest, PeerMetaFileBesideEveryPublishedFile) {
  PublishOptions options;
  options.release_dir = Win(release_);
  options.server_dir = Win(server_);
  options.peer_source = "http://127.0.0.1:18080";
  PublishSummary summary;
  std::string error;
  ASSERT_TRUE(kivro::Publish(options, &summary, &error)) << error;
  int described = 0;
  for (const auto& e : fs::recursive_directory_iterator(server_)) {
    std::string path = e.path().string();
    if (!e.is_regular_file() || e.path().extension() == ".swarmlet") continue;
    SCOPED_TRACE(path);
    std::string text = ReadFile(path + ".swarmlet");
    SwarmletMeta meta;
    std::string why;
    ASSERT_TRUE(ReadSwarmletMeta(text.data(), text.size(), &meta, &why)) << why;
    EXPECT_EQ(meta.name, e.path().filename().string());
    EXPECT_EQ(meta.size, fs::file_size(path));
    ASSERT_EQ(meta.sources.size(), 1u);
    ++described;
  }
  EXPECT_EQ(described, 7);  // the list, four file archives, two entity archives
  std::string entity = ReadFile(
      server_ + "/dist/gobanvista/__npk_entity/data/sound.npk_npk/voice^hi.wav.zip.swarmlet");
  EXPECT_NE(entity.find("source "
                        "http://127.0.0.1:18080/dist/gobanvista/__npk_entity/data/sound.npk_npk/"
                        "voice%5Ehi.wav.zip\n"),
            std::string::npos)
      << entity;
}

TEST_F(PublishTest, TorrentsBesideEveryPublishedFileWithItsUrlAsWebSeed) {
  if (!CanMakeTorrents()) GTEST_SKIP() << "built without libtorrent-rasterbar";
  PublishOptions options;
  options.release_dir = Win(release_);
  options.server_dir = Win(server_);
  options.torrent_base = "http://dl.example:8080/base";
  PublishSummary summary;
  std::string error;
  ASSERT_TRUE(kivro::Publish(options, &summary, &error)) << error;
  int described = 0;
  for (const auto& e : fs::recursive_directory_iterator(server_)) {
    std::string path = e.path().string();
    std::string ext = e.path().extension().string();
    if (!e.is_regular_file() || ext == ".swarmlet" || ext == ".torrent") continue;
    SCOPED_TRACE(path);
    std::string text = ReadFile(path + ".swarmlet");
    SwarmletMeta meta;
    std::string why;
    ASSERT_TRUE(ReadSwarmletMeta(text.data(), text.size(), &meta, &why)) << why;
    std::string name = e.path().filename().string();
    EXPECT_EQ(meta.torrent, name + ".torrent");
    std::string url = "http://dl.example:8080/base/" + e.path().generic_string().substr(server_.size() + 1);
    ASSERT_EQ(meta.sources.size(), 1u);
    if (url.find('^') == std::string::npos) {
      EXPECT_EQ(meta.sources[0], url);
    }
    // v1 metainfo: the file's name, one web seed (its URL), no tracker, no
    // date, the piece size chosen for the file.
    std::string torrent = ReadFile(path + ".torrent");
    std::string seed = meta.sources[0];
    EXPECT_NE(torrent.find("8:url-list" + std::to_string(seed.size()) + ":" + seed), std::string::npos);
    EXPECT_NE(torrent.find("4:name" + std::to_string(name.size()) + ":" + name), std::string::npos);
    EXPECT_NE(torrent.find("12:piece lengthi16384e"), std::string::npos);
    EXPECT_NE(torrent.find("6:pieces"), std::string::npos);
    EXPECT_EQ(torrent.find("announce"), std::string::npos);
    EXPECT_EQ(torrent.find("creation date"), std::string::npos);
    EXPECT_EQ(torrent.find("meta version"), std::string::npos);  // no v2 part
    ++described;
  }
  EXPECT_EQ(described, 7);
  // Publishing again gives the same bytes.
  std::string list_torrent = ReadFile(server_ + "/vrl/newvrl/gobanvista.vrl.torrent");
  ASSERT_TRUE(kivro::Publish(options, &summary, &error)) << error;
  EXPECT_EQ(ReadFile(server_ + "/vrl/newvrl/gobanvista.vrl.torrent"), list_torrent);
}

TEST(TorrentPieceSize, GrowsWithTheFileWithinBounds) {
  EXPECT_EQ(TorrentPieceSize(1), 16 * 1024);
  EXPECT_EQ(TorrentPieceSize(16ull << 20), 16 * 1024);
  EXPECT_EQ(TorrentPieceSize((16ull << 20) + 1), 32 * 1024);
  EXPECT_EQ(TorrentPieceSize(256ull << 20), 256 * 1024);
  EXPECT_EQ(TorrentPieceSize(4095ull << 20), 4 * 1024 * 1024);
  EXPECT_EQ(TorrentPieceSize(64ull << 30), 4 * 1024 * 1024);
}

TEST_F(PublishTest, CommandLine) {
  std::string tool = KIVRO_PUBLISH_TOOL;
  EXPECT_EQ(platform::RunHostCommand(tool + " --help >/dev/null"), 0);
  EXPECT_NE(platform::RunHostCommand(tool + " only-one-argument >/dev/null 2>&1"), 0);
  EXPECT_EQ(platform::RunHostCommand(tool + " '" + release_ + "' '" + server_ + "' >/dev/null"), 0);
  EXPECT_TRUE(Exists(server_ + "/vrl/newvrl/gobanvista.vrl"));
  WriteFile(release_ + "/x/board.map", "dup", kT);
  EXPECT_NE(platform::RunHostCommand(tool + " '" + release_ + "' '" + dir_ + "/s2' 2>/dev/null"), 0);
  EXPECT_NE(platform::RunHostCommand(tool + " '" + release_ + "' '" + dir_ + "/s3' --torrents 2>/dev/null"), 0);
}

}  // namespace
}  // namespace patch_test

}  // namespace kivro
