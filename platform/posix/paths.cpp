#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/codepage.h"
#include "platform/posix/folder_names.h"

namespace platform {

namespace {

std::string Getenv(const char* name) {
  const char* v = getenv(name);
  return v ? std::string(v) : std::string();
}

std::string StripTrailing(std::string s, char sep) {
  while (s.size() > 1 && s.back() == sep) s.pop_back();
  return s;
}

bool Exists(const std::string& posix) {
  struct stat st;
  return lstat(posix.c_str(), &st) == 0;
}

std::string JoinPosix(const std::string& base, const std::string& name) {
  if (base.empty() || base == "/") return "/" + name;
  return base + "/" + name;
}

// Splits a path on '\' and '/' and resolves "." and ".." (never above the
// first component).
std::vector<std::string> SplitResolve(const std::string& rest) {
  std::vector<std::string> parts;
  std::string cur;
  auto flush = [&]() {
    if (cur.empty() || cur == ".") {
    } else if (cur == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(cur);
    }
    cur.clear();
  };
  for (char c : rest) {
    if (c == '\\' || c == '/')
      flush();
    else
      cur += c;
  }
  flush();
  return parts;
}

// Settings that would put our files where other users can reach them stop
// the program before it writes anything.
[[noreturn]] void RefuseToStart(const std::string& message) {
  fprintf(stderr, "KIVRO: %s\n", message.c_str());
  exit(1);
}

// HOME, else the password database's home of the user we run as.
std::string HomeFolder() {
  std::string home = Getenv("HOME");
  if (!home.empty()) return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(geteuid(), &entry, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  RefuseToStart("no home folder: HOME is not set and the password database has none; "
                "set HOME or KIVRO_ROOT");
}

// Creates `posix` and its missing parents (mode 0755).
void MakeChain(const std::string& posix) {
  for (size_t pos = 1; pos <= posix.size(); ++pos)
    if (pos == posix.size() || posix[pos] == '/') mkdir(posix.substr(0, pos).c_str(), 0755);
}

char CurrentDrive() {
  std::string cwd = CurrentDirectory();
  return cwd.size() >= 2 && cwd[1] == ':' ? cwd[0] : 'Z';
}

}  // namespace

std::string VirtualRoot() {
  std::string root = Getenv("KIVRO_ROOT");
  if (root.empty()) {
    root = HomeFolder() + "/.local/share/kivro";
  }
  if (root[0] != '/') {
    char buf[PATH_MAX];
    if (getcwd(buf, sizeof buf) != nullptr) root = std::string(buf) + "/" + root;
  }
  return StripTrailing(root, '/');
}

std::string ToPosixPath(const std::string& windows_path) {
  if (windows_path.empty()) return std::string();
  std::string path = windows_path;
  char drive;
  std::string rest;
  if (path.size() >= 2 && path[1] == ':' && isalpha(static_cast<unsigned char>(path[0]))) {
    drive = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
    rest = path.substr(2);
  } else if (path[0] == '\\' || path[0] == '/') {
    drive = CurrentDrive();
    rest = path;
  } else {
    std::string cwd = CurrentDirectory();
    drive = cwd[0];
    rest = cwd.substr(2) + "\\" + path;
  }
  std::string base = drive == 'Z' ? std::string()
                                  : VirtualRoot() + "/drive_" + char(tolower(drive));
  std::vector<std::string> parts = SplitResolve(rest);
  for (std::string& p : parts) p = Cp949ToUtf8(p);

  // Fast path: the path exists as written.
  std::string direct = base.empty() ? std::string() : base;
  for (const std::string& p : parts) direct = JoinPosix(direct, p);
  if (direct.empty()) direct = "/";
  if (parts.empty() || Exists(direct)) return direct;

  // Every drive of the view exists, as on Windows: its folder is made on
  // first use.
  if (!base.empty() && !Exists(base)) {
    mkdir(VirtualRoot().c_str(), 0755);
    mkdir(base.c_str(), 0755);
  }
  // Walk the components, taking existing ones without regard to case.
  std::string cur = base;
  size_t i = 0;
  for (; i < parts.size(); ++i) {
    std::string exact = JoinPosix(cur, parts[i]);
    if (Exists(exact)) {
      cur = exact;
      continue;
    }
    std::string match = FindNameNoCase(cur, parts[i]);
    if (match.empty()) break;
    cur = JoinPosix(cur, match);
  }
  for (; i < parts.size(); ++i) cur = JoinPosix(cur, parts[i]);
  return cur;
}

std::string ToWindowsPath(const std::string& posix_path) {
  std::string path = posix_path;
  if (path.empty() || path[0] != '/') {
    char buf[PATH_MAX];
    std::string cwd = getcwd(buf, sizeof buf) ? buf : "/";
    path = cwd + "/" + path;
  }
  std::vector<std::string> parts = SplitResolve(path);
  std::vector<std::string> root = SplitResolve(VirtualRoot());
  char drive = 'Z';
  size_t skip = 0;
  if (parts.size() > root.size()) {
    bool under_root = true;
    for (size_t i = 0; i < root.size(); ++i)
      if (parts[i] != root[i]) under_root = false;
    const std::string& d = parts[root.size()];
    if (under_root && d.size() == 7 && d.compare(0, 6, "drive_") == 0 && islower(d[6])) {
      drive = static_cast<char>(toupper(d[6]));
      skip = root.size() + 1;
    }
  }
  std::string out(1, drive);
  out += ":";
  if (skip == parts.size()) return out + "\\";
  for (size_t i = skip; i < parts.size(); ++i) out += "\\" + Utf8ToCp949(parts[i]);
  return out;
}

std::string WindowsDirectory() {
  std::string dir = Getenv("KIVRO_WINDIR");
  if (dir.empty()) dir = "C:\\WINDOWS";
  for (char& c : dir)
    if (c == '/') c = '\\';
  return StripTrailing(dir, '\\');
}

std::string SystemDirectory() { return WindowsDirectory() + "\\system32"; }

std::string TempDirectory() {
  // A folder of our own in the root, never the shared /tmp: another user
  // could plant files or links there under the names we are about to use.
  const std::string root = VirtualRoot();
  const std::string tmp = root + "/temp";
  MakeChain(root);
  mkdir(tmp.c_str(), 0700);
  struct stat st;
  if (lstat(tmp.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    RefuseToStart("the temporary folder " + tmp + " is not a folder");
  if (st.st_uid != geteuid())
    RefuseToStart("the temporary folder " + tmp + " belongs to another user");
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    RefuseToStart("the temporary folder " + tmp + " is writable by other users");
  if ((st.st_mode & 07777) != 0700) chmod(tmp.c_str(), 0700);
  std::string win = ToWindowsPath(tmp);
  if (win.back() != '\\') win += "\\";
  return win;
}

std::string CurrentDirectory() {
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof buf) == nullptr) return "Z:\\";
  return ToWindowsPath(buf);
}

bool ChangeCurrentDirectory(const std::string& windows_path) {
  return chdir(ToPosixPath(windows_path).c_str()) == 0;
}

std::string ProgramDirectory() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return CurrentDirectory();
  buf[n] = '\0';
  std::string exe(buf);
  size_t slash = exe.rfind('/');
  return ToWindowsPath(slash == 0 ? "/" : exe.substr(0, slash));
}

bool SameFile(const std::string& a, const std::string& b) { return ToPosixPath(a) == ToPosixPath(b); }

std::string EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? std::string(value) : std::string();
}

std::string ProgramFileName() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  buf[n] = '\0';
  std::string exe(buf);
  return Utf8ToCp949(exe.substr(exe.rfind('/') + 1));
}

std::string DirectoryPart(const std::string& path) {
  size_t pos = path.rfind('\\');
  if (pos == std::string::npos) pos = path.rfind('/');
  if (pos == std::string::npos) return std::string();
  return path.substr(0, pos);
}

}  // namespace platform
