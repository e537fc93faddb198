// `kivro-update run` killed (SIGKILL) at random moments of an update from
// release 1.0 to 2.0, a hundred times, each followed by one clean run: the
// installation must then be exactly release 2.0, with no temporary file of
// ours (".kvpart", ".dwn", a package save's "_", the entity work folder)
// left anywhere.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "launcher/launcher_e2e_support.h"
#include "patch/npk/npk.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;
using launcher_e2e::DemoWorld;
using launcher_e2e::Quote;
using launcher_e2e::ReadFile;
using launcher_e2e::Shell;

// A package by what it holds (an updated package is laid out differently
// from a freshly published one): each entity's name, flags and content.
std::string PackageContent(const std::string& posix) {
  NpkFile package;
  if (NpkOpen(&package, platform::ToWindowsPath(posix).c_str()) != NPK_SUCCESS) return "unreadable";
  std::map<std::string, std::string> entities;
  for (NpkFileEntity* e = package.first; e != nullptr; e = e->next) {
    std::vector<uint8_t> content;
    if (NpkReadEntity(&package, e, &content) != NPK_SUCCESS) return "damaged entity " + e->name;
    entities[e->name] = std::to_string(e->info.flags) + ":" + std::string(content.begin(), content.end());
  }
  NpkClose(&package);
  std::string out;
  for (const auto& [name, value] : entities) out += name + "=" + value + "\n";
  return out;
}

// Every file below `dir` by relative path, with its content.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_directory()) continue;
    std::string path = e.path().string();
    bool package = path.size() > 4 && path.compare(path.size() - 4, 4, ".npk") == 0;
    files[fs::relative(e.path(), dir).string()] = package ? PackageContent(path) : ReadFile(path);
  }
  return files;
}

bool IsOurTemporary(const std::string& name) {
  auto ends = [&](const std::string& s) {
    return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
  };
  return ends(".kvpart") || ends(".dwn") || ends("_") || ends(".zip") ||
         name.find("__npk_entity") != std::string::npos;
}

TEST(KivroUpdateCrash, KilledUpdatesEndExactlyAsTheReleaseAfterOneCleanRun) {
  if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  DemoWorld world;
  const std::string install = world.Dir() + "/install", pristine = world.Dir() + "/install-1.0";
  ASSERT_TRUE(world.Publish("1.0", ""));
  kivro_test::NginxServer server;
  std::string why;
  ASSERT_TRUE(server.Start(world.Server(), &why)) << why;
  const std::string base = server.BaseUrl();
  const std::vector<std::string> args = {"run", "--local-base", install, "--list-url",
                                         base + "/vrl/newvrl/gobanvista.vrl", "--url-base",
                                         base + "/dist/gobanvista/"};
  const std::string program = platform::ToWindowsPath(KIVRO_UPDATE_PROGRAM);
  auto run = [&](uint32_t* code) {
    platform::Process p;
    if (!p.Start(program, args) || !p.Wait(120000)) return false;
    return p.ExitCode(code);
  };
  uint32_t code = 1;
  ASSERT_TRUE(run(&code));
  ASSERT_EQ(code, 0u);
  ASSERT_EQ(Shell("cp -a " + Quote(install) + " " + Quote(pristine)), 0);
  ASSERT_TRUE(world.Publish("2.0", "1.0"));
  std::map<std::string, std::string> release = Tree(world.Dir() + "/release-2.0");

  // One uninterrupted update tells how long an update takes here.
  auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(run(&code));
  ASSERT_EQ(code, 0u);
  auto full_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin).count();

  std::mt19937 rng(20261207);
  std::uniform_int_distribution<int> delay(0, static_cast<int>(full_ms) + 1);
  int left_temporaries = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    ASSERT_EQ(Shell("rm -rf " + Quote(install) + " && cp -a " + Quote(pristine) + " " + Quote(install)), 0);
    {
      platform::Process p;
      ASSERT_TRUE(p.Start(program, args));
      platform::Sleep(static_cast<uint32_t>(delay(rng)));
      p.Terminate();
      p.Wait(10000);
    }
    for (const auto& [name, content] : Tree(install))
      if (IsOurTemporary(name)) ++left_temporaries;
    ASSERT_TRUE(run(&code));
    ASSERT_EQ(code, 0u);
    std::map<std::string, std::string> installed = Tree(install);
    installed.erase("gobanvista.vrl");  // the list is kept beside the files
    for (const auto& [name, content] : installed) ASSERT_FALSE(IsOurTemporary(name)) << name;
    ASSERT_EQ(installed.size(), release.size());
    for (const auto& [name, content] : release) {
      ASSERT_TRUE(installed.count(name)) << name;
      ASSERT_TRUE(installed[name] == content) << name;
    }
  }
  printf("full update %lld ms; %d temporaries left by kills, all gone after the next run\n",
         static_cast<long long>(full_ms), left_temporaries);
}

}  // namespace

}  // namespace kivro
