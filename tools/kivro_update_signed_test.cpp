// `kivro-update run --pubkey` against nginx with releases signed by the
// real publisher (and by the minisign tool by hand): a signed release
// installs; a tampered list or archive, a missing signature, another key
// and an older publication end with the failure result, leave nothing that
// failed on disk and make no removal. Mirrors: a dead first host and a
// first host serving a tampered archive both fall back to the second.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "launcher/launcher_e2e_support.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;
using launcher_e2e::DemoWorld;
using launcher_e2e::Quote;
using launcher_e2e::ReadFile;
using launcher_e2e::Shell;

class KivroUpdateSigned : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    if (Shell("minisign -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "minisign is not installed";
    install_ = world_.Dir() + "/install";
    ASSERT_EQ(Shell("cd " + Quote(world_.Dir()) + " && minisign -G -W -p k.pub -s k.sec >/dev/null && "
                    "minisign -G -W -p other.pub -s other.sec >/dev/null"),
              0);
    std::string why;
    ASSERT_TRUE(server_.Start(world_.Server(), &why)) << why;
  }
  bool PublishSigned(const std::string& version, const std::string& previous, int64_t published,
                     const std::string& key = "k.sec") {
    return world_.Publish(version, previous,
                          "--sign " + Quote(world_.Dir() + "/" + key) + " --published " +
                              std::to_string(published));
  }
  // Runs the tool with the world's own virtual root (and so its own registry).
  int Run(const std::string& base, const std::string& extra = "") {
    std::string file = world_.Dir() + "/run.out";
    int code = Shell("KIVRO_ROOT=" + Quote(world_.Root()) + " KIVRO_TRACE=1 timeout 120 " +
                     Quote(KIVRO_UPDATE_PROGRAM) + " run --local-base " + Quote(install_) +
                     " --list-url " + base + "/vrl/newvrl/gobanvista.vrl --url-base " + base +
                     "/dist/gobanvista/ --pubkey " + Quote(world_.Dir() + "/k.pub") + " " + extra +
                     " > " + Quote(file) + " 2>&1");
    out_ = ReadFile(file);
    return code;
  }
  // Swaps two different neighbouring bytes in the middle of a file: its
  // size and its byte sum stay the same.
  void SwapBytes(const std::string& path) {
    std::string data = ReadFile(path);
    size_t i = data.size() / 2;
    while (i + 1 < data.size() && data[i] == data[i + 1]) ++i;
    ASSERT_LT(i + 1, data.size());
    std::swap(data[i], data[i + 1]);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
  }
  std::string Release(const std::string& version, const std::string& file) {
    return ReadFile(world_.Dir() + "/release-" + version + "/" + file);
  }
  bool Installed(const std::string& file) { return fs::exists(install_ + "/" + file); }
  // Files (not folders) under the install folder.
  int InstalledFiles() {
    if (!fs::exists(install_)) return 0;
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(install_)) n += e.is_regular_file();
    return n;
  }

  DemoWorld world_;
  kivro_test::NginxServer server_;
  std::string install_, out_;
};

TEST_F(KivroUpdateSigned, SignedReleasesInstallAndUpdateAndTheToolsHandSignatureIsAccepted) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  ASSERT_EQ(Run(server_.BaseUrl()), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/Gobanvista.exe"), Release("1.0", "Gobanvista.exe"));
  EXPECT_NE(out_.find("manifest published at 1000 verified"), std::string::npos) << out_;

  // The operator signs by hand with the tool instead of --sign.
  ASSERT_TRUE(world_.Publish("2.0", "1.0", "--sign " + Quote(world_.Dir() + "/k.sec") + " --published 2000"));
  const std::string manifest = world_.Server() + "/vrl/newvrl/gobanvista.vrl.manifest";
  ASSERT_EQ(Shell("minisign -S -s " + Quote(world_.Dir() + "/k.sec") + " -m " + Quote(manifest) +
                  " >/dev/null"),
            0);
  ASSERT_EQ(Run(server_.BaseUrl()), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/data/schedule.txt"), Release("2.0", "data/schedule.txt"));
  EXPECT_FALSE(Installed("data/notice_old.txt"));  // the removal, after every file passed
}

TEST_F(KivroUpdateSigned, ATamperedListInstallsNothing) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  SwapBytes(world_.Server() + "/vrl/newvrl/gobanvista.vrl");
  EXPECT_EQ(Run(server_.BaseUrl()), 2) << out_;
  EXPECT_NE(out_.find("DOES NOT MATCH THE SIGNED MANIFEST"), std::string::npos) << out_;
  EXPECT_EQ(InstalledFiles(), 0);  // not even the list stays
}

TEST_F(KivroUpdateSigned, ATamperedArchiveOfTheSameSizeAndByteSumIsNeverAppliedAndNothingIsRemoved) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  ASSERT_EQ(Run(server_.BaseUrl()), 0) << out_;
  ASSERT_TRUE(PublishSigned("2.0", "1.0", 2000));
  SwapBytes(world_.Server() + "/dist/gobanvista/schedule.txt.zip");
  EXPECT_EQ(Run(server_.BaseUrl(), "--sequential"), 5) << out_;
  EXPECT_NE(out_.find("schedule.txt.zip] DOES NOT MATCH THE SIGNED MANIFEST: SHA-256"),
            std::string::npos)
      << out_;
  EXPECT_FALSE(Installed("data/schedule.txt"));
  EXPECT_FALSE(Installed("data/schedule.txt.zip"));
  EXPECT_TRUE(Installed("data/notice_old.txt"));  // no removal made

  // Parallel download and install, where the verdict follows the bytes:
  // the same end, the same reason, and the archive is gone.
  EXPECT_EQ(Run(server_.BaseUrl()), 5) << out_;
  EXPECT_NE(out_.find("schedule.txt.zip] DOES NOT MATCH THE SIGNED MANIFEST: SHA-256"),
            std::string::npos)
      << out_;
  EXPECT_FALSE(Installed("data/schedule.txt"));
  EXPECT_FALSE(Installed("data/schedule.txt.zip"));
  EXPECT_TRUE(Installed("data/notice_old.txt"));
}

TEST_F(KivroUpdateSigned, AResumedPartialFileIsCheckedWhole) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  ASSERT_EQ(Run(server_.BaseUrl()), 0) << out_;
  ASSERT_TRUE(PublishSigned("2.0", "1.0", 2000));
  // Half of the archive from an earlier, interrupted run; HTTP with resume
  // continues it with a Range request.
  const std::string archive = ReadFile(world_.Server() + "/dist/gobanvista/schedule.txt.zip");
  const std::string partial = install_ + "/data/schedule.txt.zip.dwn";
  std::string bad = archive.substr(0, archive.size() / 2);
  bad[bad.size() / 2] ^= 0x20;
  std::ofstream(partial, std::ios::binary) << bad;
  EXPECT_EQ(Run(server_.BaseUrl(), "--method 3 --sequential"), 5) << out_;
  EXPECT_NE(out_.find("schedule.txt.zip] DOES NOT MATCH THE SIGNED MANIFEST"), std::string::npos) << out_;
  EXPECT_FALSE(Installed("data/schedule.txt"));
  EXPECT_FALSE(Installed("data/schedule.txt.zip"));

  std::ofstream(partial, std::ios::binary) << archive.substr(0, archive.size() / 2);
  EXPECT_EQ(Run(server_.BaseUrl(), "--method 3 --sequential"), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/data/schedule.txt"), Release("2.0", "data/schedule.txt"));
}

TEST_F(KivroUpdateSigned, MissingSignatureOtherKeyOrUnsignedServerFailTheCheck) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000, "other.sec"));
  EXPECT_EQ(Run(server_.BaseUrl()), 2) << out_;
  EXPECT_NE(out_.find("IS SIGNED WITH KEY"), std::string::npos) << out_;
  EXPECT_EQ(InstalledFiles(), 0);

  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  fs::remove(world_.Server() + "/vrl/newvrl/gobanvista.vrl.manifest.minisig");
  EXPECT_EQ(Run(server_.BaseUrl()), 2) << out_;
  EXPECT_NE(out_.find("THE SERVER IS NOT SIGNED"), std::string::npos) << out_;
  EXPECT_EQ(InstalledFiles(), 0);

  fs::remove(world_.Server() + "/vrl/newvrl/gobanvista.vrl.manifest");
  EXPECT_EQ(Run(server_.BaseUrl()), 2) << out_;
  EXPECT_EQ(InstalledFiles(), 0);

  // A key that is no key is a usage error, before anything is fetched.
  EXPECT_EQ(Run(server_.BaseUrl(), "--pubkey RWQAAEIy"), 2) << out_;
  EXPECT_NE(out_.find("usage:"), std::string::npos) << out_;
  EXPECT_EQ(Run(server_.BaseUrl(), "--pubkey ''"), 2) << out_;
  EXPECT_NE(out_.find("--pubkey takes"), std::string::npos) << out_;
}

TEST_F(KivroUpdateSigned, AnOlderPublicationIsRefusedAsAReplay) {
  ASSERT_TRUE(PublishSigned("2.0", "", 2000));
  ASSERT_EQ(Run(server_.BaseUrl()), 0) << out_;
  // Yesterday's signed release served again.
  fs::remove_all(world_.Server());
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  EXPECT_EQ(Run(server_.BaseUrl()), 2) << out_;
  EXPECT_NE(out_.find("REFUSED AS A REPLAY"), std::string::npos) << out_;
  EXPECT_EQ(ReadFile(install_ + "/Gobanvista.exe"), Release("2.0", "Gobanvista.exe"));
  EXPECT_TRUE(Installed("data/schedule.txt"));  // nothing removed
  // The operator's roll-back: the old files published again, at a new time.
  ASSERT_TRUE(PublishSigned("1.0", "2.0", 3000));
  EXPECT_EQ(Run(server_.BaseUrl()), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/Gobanvista.exe"), Release("1.0", "Gobanvista.exe"));
}

TEST_F(KivroUpdateSigned, MirrorsTakeOverFromADeadOrTamperingHost) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  // A port nobody listens on: take one from a server and stop it.
  uint16_t dead_port;
  {
    kivro_test::NginxServer gone;
    std::string why;
    ASSERT_TRUE(gone.Start(world_.Server(), &why)) << why;
    dead_port = gone.Port();
  }
  std::string dead = "http://127.0.0.1:" + std::to_string(dead_port);
  EXPECT_EQ(Run(dead, "--mirror 127.0.0.1:" + std::to_string(server_.Port())), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/Gobanvista.exe"), Release("1.0", "Gobanvista.exe"));
  EXPECT_NE(out_.find("failed on 127.0.0.1:" + std::to_string(dead_port)), std::string::npos) << out_;

  // The first host serves release 2.0 with a tampered archive, the second
  // the same release intact.
  ASSERT_TRUE(PublishSigned("2.0", "1.0", 2000));
  std::string second_tree = world_.Dir() + "/server2";
  fs::copy(world_.Server(), second_tree, fs::copy_options::recursive);
  SwapBytes(world_.Server() + "/dist/gobanvista/schedule.txt.zip");
  kivro_test::NginxServer second;
  std::string why;
  ASSERT_TRUE(second.Start(second_tree, &why)) << why;
  EXPECT_EQ(Run(server_.BaseUrl(), "--mirror 127.0.0.1:" + std::to_string(second.Port())), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/data/schedule.txt"), Release("2.0", "data/schedule.txt"));
  EXPECT_NE(out_.find("DOES NOT MATCH THE SIGNED MANIFEST"), std::string::npos) << out_;
  EXPECT_FALSE(Installed("data/notice_old.txt"));
}

// The first host's list, then its manifest, fail their checks: the check
// moves to the second host for list, manifest and signature together, and
// fails only when the second fails too.
TEST_F(KivroUpdateSigned, ATamperedListOrManifestOnTheFirstHostIsTakenFromTheMirror) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  const std::string second_tree = world_.Dir() + "/server2";
  fs::copy(world_.Server(), second_tree, fs::copy_options::recursive);
  const std::string list = "/vrl/newvrl/gobanvista.vrl";
  SwapBytes(world_.Server() + list);
  kivro_test::NginxServer second;
  std::string why;
  ASSERT_TRUE(second.Start(second_tree, &why)) << why;
  const std::string mirror = "--mirror 127.0.0.1:" + std::to_string(second.Port());
  EXPECT_EQ(Run(server_.BaseUrl(), mirror), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/Gobanvista.exe"), Release("1.0", "Gobanvista.exe"));
  EXPECT_NE(out_.find("release check failed on 127.0.0.1:" + std::to_string(server_.Port())),
            std::string::npos)
      << out_;

  // Release 2.0 on both; the first host's manifest changed under its signature.
  ASSERT_TRUE(PublishSigned("2.0", "1.0", 2000));
  fs::remove_all(second_tree);
  fs::copy(world_.Server(), second_tree, fs::copy_options::recursive);
  SwapBytes(world_.Server() + list + ".manifest");
  EXPECT_EQ(Run(server_.BaseUrl(), mirror), 0) << out_;
  EXPECT_NE(out_.find("SIGNATURE DOES NOT VERIFY"), std::string::npos) << out_;
  EXPECT_EQ(ReadFile(install_ + "/data/schedule.txt"), Release("2.0", "data/schedule.txt"));

  // Both hosts tampered: the check fails and nothing of it stays.
  SwapBytes(second_tree + list);
  EXPECT_EQ(Run(server_.BaseUrl(), mirror), 2) << out_;
  EXPECT_NE(out_.find("FAIL TO CHECK UPDATE INFO"), std::string::npos) << out_;
  EXPECT_FALSE(Installed("gobanvista.vrl.manifest"));
}

TEST_F(KivroUpdateSigned, MirrorsWorkWithoutAKeyAndEveryHostDownFails) {
  ASSERT_TRUE(world_.Publish("1.0", ""));
  std::string file = world_.Dir() + "/run.out";
  auto run = [&](const std::string& base, const std::string& extra) {
    int code = Shell("KIVRO_ROOT=" + Quote(world_.Root()) + " timeout 120 " + Quote(KIVRO_UPDATE_PROGRAM) +
                     " run --local-base " + Quote(install_) + " --list-url " + base +
                     "/vrl/newvrl/gobanvista.vrl --url-base " + base + "/dist/gobanvista/ " + extra +
                     " > " + Quote(file) + " 2>&1");
    out_ = ReadFile(file);
    return code;
  };
  // Port 1 refuses at once; the release is unsigned and no key is given.
  EXPECT_EQ(run("http://127.0.0.1:1", "--mirror 127.0.0.1:" + std::to_string(server_.Port())), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/Gobanvista.exe"), Release("1.0", "Gobanvista.exe"));
  fs::remove_all(install_);
  EXPECT_EQ(run("http://127.0.0.1:1", "--mirror 127.0.0.1:2"), 2) << out_;
  EXPECT_EQ(run("http://127.0.0.1:1", "--mirror 127.0.0.1:2 --method 3"), 2) << out_;
  EXPECT_NE(out_.find("--mirror works with --method 1 only"), std::string::npos) << out_;
}

}  // namespace

}  // namespace kivro
