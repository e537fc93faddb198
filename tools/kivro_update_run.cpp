#include "tools/kivro_update_run.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "update/last_error.h"
#include "update/launcher_manager.h"
#include "update/own_roles.h"
#include "update/release_guard.h"
#include "update/verify_rules.h"

#ifndef KIVRO_RELEASE_PUBKEY
#define KIVRO_RELEASE_PUBKEY ""
#endif

namespace kivro {

namespace {

// How long the program waits at its end for the manager's workers to end.
constexpr uint32_t kWorkerEndWaitMs = 10000;

const char kUsage[] =
    "usage: kivro-update run --local-base DIR --list-url URL --url-base URL [options]\n"
    "\n"
    "Checks the installation in DIR against the patch list at URL and, when\n"
    "something differs, downloads and installs it from the files under the\n"
    "download base URL, as the launcher does.\n"
    "\n"
    "options:\n"
    "  --list-path PATH        where the patch list is stored (default: DIR and the\n"
    "                          list's file name)\n"
    "  --method 1..4           1 whole URL (default), 2 FTP, 3 HTTP with resume,\n"
    "                          4 FTP with resume; 2-4 take server, port, user and\n"
    "                          password from the list URL\n"
    "  --sequential            download and install on one thread\n"
    "  --per-directory-urls    archives under per-directory URLs (Y_SUBDIR)\n"
    "  --verify EXT:FLAGS      a verify rule, e.g. exe:0x111; repeatable. Without any,\n"
    "                          the launcher's rules: exe:0x111 dll:0x11 map:0x11\n"
    "  --pubkey KEY_OR_FILE    install only a release signed with this minisign public\n"
    "                          key (a key file, or its base64 line); every file is\n"
    "                          checked against the signed manifest before it is used\n"
    "  --mirror HOST[:PORT]    another server with the same tree, tried in turn when a\n"
    "                          host fails; repeatable (whole-URL method only)\n"
    "\n"
    "Paths may be POSIX paths. Exit code: 0 when nothing needed updating or the\n"
    "update succeeded; 2 usage error or failed check; 4 canceled, 5 failed,\n"
    "6 installed files failed verification.\n";

// What the callbacks share with the waiting main thread.
struct Progress {
  std::mutex lock;
  std::condition_variable done;
  int32_t result = 0;
  bool terminal = false;
  int columns = 0;
  bool line_open = false;
  std::string file;
  int32_t percent = 0;
  int32_t applied = 0, apply_total = 0;
};
Progress* g_progress = nullptr;

void DrawLine(Progress& p) {
  if (!p.terminal) return;
  std::string line = "[" + std::to_string(p.applied) + "/" + std::to_string(p.apply_total) + "] " +
                     platform::Cp949ToUtf8(p.file) + " " + std::to_string(p.percent) + "%";
  if (p.columns > 4 && static_cast<int>(line.size()) > p.columns - 1) {
    line = "..." + line.substr(line.size() - static_cast<size_t>(p.columns - 4));
  }
  std::printf("\r%s%s", line.c_str(), platform::EraseToLineEnd());
  std::fflush(stdout);
  p.line_open = true;
}

void EndLine(Progress& p) {
  if (p.line_open) std::printf("\n");
  p.line_open = false;
}

void OnResult(int32_t code) {
  std::lock_guard<std::mutex> hold(g_progress->lock);
  g_progress->result = code;
  g_progress->done.notify_all();
}

void OnFileName(const char* text) {
  std::lock_guard<std::mutex> hold(g_progress->lock);
  g_progress->file = text != nullptr ? text : "";
  g_progress->percent = 0;
  if (g_progress->terminal) {
    DrawLine(*g_progress);
  } else {
    std::printf("fetching %s\n", platform::Cp949ToUtf8(g_progress->file).c_str());
  }
}

void OnFilePercent(int32_t percent) {
  std::lock_guard<std::mutex> hold(g_progress->lock);
  g_progress->percent = percent;
  DrawLine(*g_progress);
}

void OnApplyCount(int32_t total, int32_t done) {
  std::lock_guard<std::mutex> hold(g_progress->lock);
  g_progress->applied = done;
  g_progress->apply_total = total;
  if (g_progress->terminal) {
    DrawLine(*g_progress);
  } else {
    std::printf("installed %d/%d\n", done, total);
  }
}

int32_t WaitForResult(Progress& p) {
  std::unique_lock<std::mutex> hold(p.lock);
  p.done.wait(hold, [&] { return p.result != 0; });
  int32_t code = p.result;
  p.result = 0;
  EndLine(p);
  return code;
}

// POSIX paths become the system's Windows view; "X:..." stays.
std::string WindowsPath(const std::string& arg) {
  if (arg.size() >= 2 && arg[1] == ':') return arg;
  return platform::ToWindowsPath(arg);
}

struct UrlServer {
  std::string host, user, password;
  int32_t port = 0;
};

// scheme://[user[:password]@]host[:port]/...
bool ParseServer(const std::string& url, UrlServer* out) {
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos) return false;
  std::string scheme = platform::ToLowerAscii(url.substr(0, scheme_end));
  std::string rest = url.substr(scheme_end + 3);
  std::string authority = rest.substr(0, rest.find('/'));
  size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    std::string userinfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
    size_t colon = userinfo.find(':');
    out->user = userinfo.substr(0, colon);
    if (colon != std::string::npos) out->password = userinfo.substr(colon + 1);
  }
  out->port = scheme == "ftp" ? 21 : 80;
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']') == std::string::npos) {
    char* end = nullptr;
    long port = std::strtol(authority.c_str() + colon + 1, &end, 10);
    if (end == authority.c_str() + colon + 1 || *end != '\0' || port <= 0 || port > 65535) return false;
    out->port = static_cast<int32_t>(port);
    authority = authority.substr(0, colon);
  }
  out->host = authority;
  return !out->host.empty();
}

struct VerifyArg {
  std::string extension;
  int32_t flags;
};

bool ParseVerify(const std::string& arg, VerifyArg* out) {
  size_t colon = arg.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  char* end = nullptr;
  const char* flags = arg.c_str() + colon + 1;
  unsigned long value = std::strtoul(flags, &end, 0);
  if (end == flags || *end != '\0' || value > 0x7FFFFFFFul) return false;
  out->extension = arg.substr(0, colon);
  out->flags = static_cast<int32_t>(value);
  return true;
}

// A key file's text, or the argument itself as the key's base64 line.
std::string KeyText(const std::string& arg) {
  std::string path = WindowsPath(arg), text;
  platform::FileInfo info;
  if (platform::GetFileInfo(path, &info) && info.size <= 4096 && platform::ReadWholeFile(path, &text))
    return text;
  return arg;
}

bool MirrorAcceptable(const std::string& host) {
  return !host.empty() && host.find_first_of("/\\@?# ") == std::string::npos;
}

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "kivro-update run: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int RunUpdateCommand(int argc, char** argv) {
  std::string local_base, list_url, url_base, list_path;
  int32_t method = kMethodUrl;
  bool sequential = false, per_directory = false;
  std::vector<VerifyArg> rules;
  std::string key_text = KIVRO_RELEASE_PUBKEY;
  std::vector<std::string> mirrors;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--sequential") {
      sequential = true;
      continue;
    }
    if (a == "--per-directory-urls") {
      per_directory = true;
      continue;
    }
    if (i + 1 >= argc) return Usage(("missing value of " + a).c_str());
    std::string v = argv[++i];
    if (a == "--local-base") {
      local_base = v;
    } else if (a == "--list-url") {
      list_url = v;
    } else if (a == "--url-base") {
      url_base = v;
    } else if (a == "--list-path") {
      list_path = v;
    } else if (a == "--method") {
      if (v.size() != 1 || v[0] < '1' || v[0] > '4') return Usage("--method takes 1, 2, 3 or 4");
      method = v[0] - '0';
    } else if (a == "--verify") {
      VerifyArg rule;
      if (!ParseVerify(v, &rule)) return Usage("--verify takes EXT:FLAGS, e.g. exe:0x111");
      rules.push_back(rule);
    } else if (a == "--pubkey") {
      // An empty key would quietly mean "no check": refused instead.
      key_text = KeyText(v);
      if (key_text.find_first_not_of(" \t\r\n") == std::string::npos)
        return Usage("--pubkey takes a key file or the key's base64 line");
    } else if (a == "--mirror") {
      if (!MirrorAcceptable(v)) return Usage("--mirror takes HOST or HOST:PORT");
      mirrors.push_back(v);
    } else {
      return Usage(("unknown option " + a).c_str());
    }
  }
  if (local_base.empty() || list_url.empty() || url_base.empty()) {
    return Usage("--local-base, --list-url and --url-base are needed");
  }
  local_base = WindowsPath(local_base);
  while (local_base.size() > 3 && (local_base.back() == '\\' || local_base.back() == '/')) local_base.pop_back();
  if (list_path.empty()) {
    std::string name = list_url.substr(list_url.find_last_of('/') + 1);
    if (name.empty()) return Usage("--list-url must name a file");
    list_path = local_base + "\\" + name;
  } else {
    list_path = WindowsPath(list_path);
  }
  if (rules.empty()) {
    for (const StandardVerifyRule& rule : kStandardVerifyRules)
      rules.push_back({rule.extension, rule.flags});
  }
  if (!mirrors.empty() && method != kMethodUrl) return Usage("--mirror works with --method 1 only");
  // Lives as long as the manager, which keeps a pointer to it.
  static CReleaseGuard guard;
  if (!key_text.empty() || !mirrors.empty()) {
    std::string error;
    if (!guard.SetPublicKey(key_text, &error)) return Usage(("--pubkey: " + error).c_str());
    guard.SetMirrors(mirrors);
    guard.SetReplayRecord(kReleaseRecordKey, local_base);
  }

  Progress progress;
  // Made after `progress`, so ended before it: the workers call back into
  // `progress` up to their end, and a worker still running while the
  // process exits has crashed it under Wine.
  struct WorkersEnded {
    ~WorkersEnded() { WaitForManagerWorkers(kWorkerEndWaitMs); }
  } workers_ended;
  progress.terminal = platform::IsTerminal(platform::ConsoleStream::kOut);
  progress.columns = platform::TerminalColumns(platform::ConsoleStream::kOut);
  g_progress = &progress;

  SetRoleFactory(&OwnRoleFactory());
  CLauncherManager* manager = GetLauncherManager();
  manager->SetPatchInfoKind(kPatchInfoVrel);
  manager->SetSubdirMode(per_directory ? "Y_SUBDIR" : "N_SUBDIR");
  manager->SetDownloaderKind(kDownloaderNet);
  manager->SetLocalBase(local_base.c_str());
  manager->SetUrlBase(url_base.c_str());
  manager->SetTransferMethod(method);
  if (method != kMethodUrl) {
    UrlServer server;
    if (!ParseServer(list_url, &server)) return Usage("cannot take the server from --list-url");
    manager->SetServerName(server.host.c_str());
    manager->SetPort(server.port);
    manager->SetUserName(server.user.c_str());
    manager->SetPassword(server.password.c_str());
  }
  manager->SetParallel(sequential ? 0 : 1);
  if (!key_text.empty() || !mirrors.empty()) manager->SetReleaseGuard(&guard);
  manager->SetResultCallback(OnResult);
  manager->SetFileNameCallback(OnFileName);
  manager->SetFilePercentCallback(OnFilePercent);
  manager->SetApplyCountCallback(OnApplyCount);
  for (const VerifyArg& rule : rules) manager->AddVerifyRule(rule.extension.c_str(), rule.flags);

  std::printf("checking %s\n", list_url.c_str());
  std::fflush(stdout);
  if (manager->CheckUpdate(list_path.c_str(), list_url.c_str()) == 0) {
    LastErrorRecord e = GetLastErrorInfo();
    std::fprintf(stderr, "kivro-update run: the check could not start: %s (%d)\n", e.text, e.code);
    return 2;
  }
  int32_t result = WaitForResult(progress);
  if (result == RESULT_CHECK_FAILED) {
    LastErrorRecord e = GetLastErrorInfo();
    std::fprintf(stderr, "kivro-update run: FAIL TO CHECK UPDATE INFO: %s (%d)\n", e.text, e.code);
    return 2;
  }
  if (manager->HasDownloads() == 0) {
    std::printf("nothing to update\n");
    return 0;
  }
  manager->StartUpdate();
  result = WaitForResult(progress);
  switch (result) {
    case RESULT_UPDATE_DONE:
      std::printf("updated\n");
      return 0;
    case RESULT_FILES_TAMPERED: {
      std::fprintf(stderr, "kivro-update run: installed files failed verification:\n");
      int32_t count = manager->GetMismatchCount();
      for (int32_t i = 0; i < count; ++i) {
        char path[260] = {}, note[260] = {};
        int32_t value = 0;
        manager->GetMismatch(i, path, &value, note);
        std::fprintf(stderr, "  %s: %s\n", platform::Cp949ToUtf8(path).c_str(),
                     platform::Cp949ToUtf8(note).c_str());
      }
      return result;
    }
    default: {
      LastErrorRecord e = GetLastErrorInfo();
      std::fprintf(stderr, "kivro-update run: update ended with result %d: %s (%d)\n", result, e.text,
                   e.code);
      return result;
    }
  }
}

}  // namespace kivro
