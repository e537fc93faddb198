#include "patch/patch_info_test_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/file.h"
#include "platform/filetime.h"
#include "platform/paths.h"
#include "tools/kivro_publish_writer.h"
#include "tools/kivro_publish_zip.h"

namespace kivro {

namespace fs = std::filesystem;

namespace patch_test {

void PatchTest::SetUp() {
  std::random_device random;
  for (;;) {
#if defined(_WIN32)
    // The host's temporary folder (Z:\tmp under Wine), where the host's
    // shell commands of the tool tests find the files too.
    dir_ = "/tmp/kivro-patch-" + std::to_string(random());
#else
    dir_ = (fs::temp_directory_path() / ("kivro-patch-" + std::to_string(random()))).string();
#endif
    std::error_code ec;
    if (fs::create_directory(dir_, ec)) break;
  }
  root_ = dir_ + "/root";
  fs::create_directory(root_);
  // A virtual root is the POSIX backend's view of drives; Windows has its own.
#if !defined(_WIN32)
  setenv("KIVRO_ROOT", root_.c_str(), 1);
  unsetenv("KIVRO_WINDIR");
#endif
}

void PatchTest::TearDown() {
  // The system's own removal: the C++ library's loops for ever on Windows
  // over a file that cannot be deleted yet.
  platform::RemoveTree(Win(dir_));
#if !defined(_WIN32)
  unsetenv("KIVRO_ROOT");
#endif
}

std::string Win(const std::string& posix) { return platform::ToWindowsPath(posix); }

// The host path of a UTF-8 path: on Windows a narrow path would be read in
// the ANSI code page, and a Korean name would become another name.
fs::path Host(const std::string& posix) {
  return fs::path(std::u8string(posix.begin(), posix.end()));
}

void WriteFile(const std::string& posix, const std::string& content, int64_t utc) {
  fs::create_directories(Host(posix).parent_path());
  std::ofstream out(Host(posix), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (utc >= 0) SetWriteTime(posix, utc);
}

std::string ReadFile(const std::string& posix) {
  std::ifstream in(Host(posix), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& posix) {
  std::error_code ec;
  return fs::exists(Host(posix), ec);
}

void SetWriteTime(const std::string& posix, int64_t utc) {
  platform::FileTime t = platform::UnixToFileTime(utc);
  ASSERT_TRUE(platform::SetFileTimes(Win(posix), nullptr, &t, &t)) << posix;
}

int64_t WriteTime(const std::string& posix) {
  platform::FileInfo info;
  if (!platform::GetFileInfo(Win(posix), &info)) return -1;
  return platform::FileTimeToUnix(info.write);
}

bool IsExecutable(const std::string& posix) {
  return (fs::status(posix).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

void MakeExecutable(const std::string& posix) {
  fs::permissions(posix, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add);
}

void MakePackage(const std::string& posix, const std::vector<EntityPlan>& entities,
                 const uint32_t* key, int64_t utc) {
  fs::create_directories(Host(posix).parent_path());
  std::string staging = posix + ".parts";
  fs::create_directories(staging);
  ASSERT_EQ(NpkCreatePackage(Win(posix).c_str(), true), 0);
  NpkFile npk;
  ASSERT_EQ(NpkOpen(&npk, Win(posix).c_str()), 0);
  int n = 0;
  for (const EntityPlan& e : entities) {
    std::string part = staging + "/" + std::to_string(n++);
    WriteFile(part, e.content, e.utc);
    ASSERT_EQ(NpkAddFile(&npk, Win(part).c_str(), e.name.c_str(), e.flags), 0) << e.name;
  }
  if (key != nullptr) NpkSetKey(&npk, key[0], key[1], key[2], key[3]);
  ASSERT_EQ(NpkSave(&npk, nullptr, true), 0);
  NpkClose(&npk);
  fs::remove_all(staging);
  SetWriteTime(posix, utc);
}

std::string PackageView::Content(const std::string& name) const {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return contents[i];
  return "<missing>";
}

uint32_t PackageView::Flags(const std::string& name) const {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return flags[i];
  return 0xFFFFFFFFu;
}

PackageView ReadPackage(const std::string& posix) {
  PackageView view;
  NpkFile npk;
  if (NpkOpen(&npk, Win(posix).c_str()) < 0) return view;
  view.opened = true;
  std::copy(npk.key, npk.key + 4, view.key);
  std::vector<uint8_t> content;
  for (NpkFileEntity* e = npk.first; e != nullptr; e = e->next) {
    view.names.push_back(e->name);
    view.flags.push_back(e->info.flags);
    if (NpkReadEntity(&npk, e, &content) < 0) content.clear();
    view.contents.emplace_back(content.begin(), content.end());
  }
  return view;
}

void Publish(const std::string& release, const std::string& server, const std::string& previous,
             bool per_directory, const std::string& list_patch_version) {
  PublishOptions options;
  options.release_dir = Win(release);
  options.server_dir = Win(server);
  if (!previous.empty()) options.previous_dir = Win(previous);
  options.per_directory = per_directory;
  options.list_patch_version = list_patch_version;
  PublishSummary summary;
  std::string error;
  ASSERT_TRUE(kivro::Publish(options, &summary, &error)) << error;
}

void MakeZip(const std::string& posix, const std::vector<ZipEntryPlan>& entries) {
  std::vector<ZipSource> sources;
  for (const ZipEntryPlan& e : entries) {
    ZipSource s;
    s.entry_name = e.name;
    s.bytes = &e.content;
    s.list_time = 1700000000;
    s.mode = e.unix_mode;
    sources.push_back(s);
  }
  std::string error;
  ASSERT_TRUE(WriteZip(Win(posix), sources, &error)) << error;
}

namespace {

std::string DecodeUrlPath(const std::string& url) {
  size_t scheme = url.find("://");
  size_t start = scheme == std::string::npos ? 0 : url.find('/', scheme + 3);
  if (start == std::string::npos) return "/";
  std::string path;
  for (size_t i = start; i < url.size(); ++i) {
    char c = url[i];
    if (c == '%' && i + 2 < url.size()) {
      path += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else if (c == '/' && !path.empty() && path.back() == '/') {
      continue;  // repeated slashes, as the server merges them
    } else {
      path += c;
    }
  }
  return path;
}

}  // namespace

int32_t LocalServerDownloader::DownloadUrl(const char* local_path, const char* url, int32_t) {
  if (cancel_ != nullptr && cancel_() == 1) return 1;
  std::string path = DecodeUrlPath(url);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fetched_.push_back(path);
  }
  std::string source = root_ + path;
  std::error_code ec;
  if (!fs::is_regular_file(Host(source), ec)) return 33;
  std::string content = ReadFile(source);
  if (!platform::CreateParentDirectories(local_path) ||
      !platform::WriteWholeFile(local_path, content.data(), content.size()))
    return 13;
  return 0;
}

std::vector<std::string> LocalServerDownloader::Fetched() {
  std::lock_guard<std::mutex> lock(mutex_);
  return fetched_;
}

void LocalServerDownloader::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  fetched_.clear();
}

}  // namespace patch_test

}  // namespace kivro
