#include "tools/kivro_update_fetch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/console.h"
#include "platform/internet_parse.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "update/last_error.h"
#include "update/launcher_manager.h"
#include "update/own_roles.h"

namespace kivro {

namespace {

const char kUsage[] =
    "usage: kivro-update fetch URL LOCAL_PATH [options]\n"
    "\n"
    "Downloads one file through the update manager, as the launcher fetches\n"
    "its patch list and archives.\n"
    "\n"
    "options:\n"
    "  --method 1..4     1 whole URL (default), 2 FTP, 3 HTTP with resume,\n"
    "                    4 FTP with resume (resumable methods keep LOCAL_PATH.dwn\n"
    "                    after a failure and continue it next time)\n"
    "  --server HOST     server of methods 2-4 (default: the URL's host)\n"
    "  --port N          its port (default: the URL's port, else the method's)\n"
    "  --user U          user name of methods 2-4\n"
    "  --password P      password of methods 2-4\n"
    "  --peer            through the peer-to-peer engine Swarmlet.dll beside this\n"
    "                    program (meta file: URL + \".swarmlet\")\n"
    "  --seed SECONDS    with --peer: after the file is complete, keep the engine\n"
    "                    running this long so that other players fetch it from here\n"
    "\n"
    "LOCAL_PATH may be a POSIX path or a Windows path (X:\\...). Exit code 0 when\n"
    "the file is complete; 2 usage error; otherwise the result code (1 stopped),\n"
    "with the last error's text on stderr.\n";

struct Bar {
  std::mutex lock;
  bool terminal = false;
  int columns = 80;
  bool drawn = false;
};
Bar g_bar;

void OnBytes(uint32_t total, uint32_t received) {
  std::lock_guard<std::mutex> hold(g_bar.lock);
  if (!g_bar.terminal) return;
  std::string line = FetchProgressLine(total, received, g_bar.columns);
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  g_bar.drawn = true;
}

void EndBar() {
  std::lock_guard<std::mutex> hold(g_bar.lock);
  if (g_bar.drawn) std::fputc('\n', stderr);
  g_bar.drawn = false;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kivro-update fetch: %s\n\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int FetchCommand(int argc, char** argv) {
  std::string url, local;
  int method = 1;
  bool peer = false;
  std::string server, user, password;
  int port = -1;
  int seed_seconds = 0;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--peer") {
      peer = true;
      continue;
    }
    if (a.rfind("--", 0) == 0) {
      if (i + 1 >= argc) return Usage("missing value of " + a);
      std::string v = argv[++i];
      if (a == "--method") {
        if (v.size() != 1 || v[0] < '1' || v[0] > '4') return Usage("--method takes 1, 2, 3 or 4");
        method = v[0] - '0';
      } else if (a == "--server") {
        server = v;
      } else if (a == "--port") {
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n < 0 || n > 65535) return Usage("--port takes 0..65535");
        port = static_cast<int>(n);
      } else if (a == "--seed") {
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n < 0 || n > 86400) return Usage("--seed takes 0..86400 seconds");
        seed_seconds = static_cast<int>(n);
      } else if (a == "--user") {
        user = v;
      } else if (a == "--password") {
        password = v;
      } else {
        return Usage("unknown option " + a);
      }
      continue;
    }
    if (positional == 0) url = a;
    else if (positional == 1) local = a;
    else return Usage("too many arguments");
    ++positional;
  }
  if (positional < 2) return Usage("URL and LOCAL_PATH are needed");

  // Methods 2-4 take the server from the configuration; by default the one
  // the URL names, with the URL's port when it names one.
  platform::UrlParts parts;
  if (platform::SplitUrl(url, &parts)) {
    bool v6 = parts.host.find(':') != std::string::npos;
    if (server.empty()) server = v6 ? "[" + parts.host + "]" : parts.host;
    size_t start = url.find("://") + 3;
    std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
    authority = authority.substr(authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1);
    bool explicit_port = v6 ? authority.find("]:") != std::string::npos
                            : authority.find(':') != std::string::npos;
    if (port < 0 && explicit_port) port = parts.port;
  }
  if (port < 0) port = 0;

  SetRoleFactory(&OwnRoleFactory());
  CLauncherManager* manager = GetLauncherManager();
  manager->SetDownloaderKind(peer ? 1 : 0);
  manager->SetTransferMethod(method);
  manager->SetServerName(server.c_str());
  manager->SetUserName(user.c_str());
  manager->SetPassword(password.c_str());
  manager->SetPort(port);
  g_bar.terminal = platform::IsTerminal(platform::ConsoleStream::kErr);
  int columns = platform::TerminalColumns(platform::ConsoleStream::kErr);
  if (columns > 0) g_bar.columns = columns;

  // DownloadFile installs no progress callback in the engine (the check
  // fetches its list quietly), so the engine the manager would make for this
  // kind is made here, given the progress callback and handed in.
  I_Download* engine = peer ? OwnRoleFactory().swarmlet() : OwnRoleFactory().net();
  if (engine != nullptr) {
    engine->SetProgressCallback(OnBytes);
    manager->SetDownloader(engine);
  }
  std::string windows_path = FetchLocalPath(local);
  int32_t result = manager->DownloadFile(windows_path.c_str(), url.c_str());
  EndBar();
  // The engine seeds what it completed as long as it runs; it ends with the
  // adapter below.
  if (peer && result == 0 && seed_seconds > 0) platform::Sleep(static_cast<uint32_t>(seed_seconds) * 1000);
  manager->SetDownloader(nullptr);
  if (engine != nullptr) engine->Release();
  if (result == 0) return 0;
  LastErrorRecord e = GetLastErrorInfo();
  if (result == 1) {
    std::fprintf(stderr, "kivro-update fetch: stopped (result 1)\n");
  } else {
    std::fprintf(stderr, "kivro-update fetch: failed with result %d (system error %d): %s\n",
                 static_cast<int>(result), static_cast<int>(e.system_error), e.text);
  }
  return result > 0 && result < 256 ? static_cast<int>(result) : 1;
}

}  // namespace kivro
