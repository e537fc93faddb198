// kivro-publish: writes the download-server tree for a release folder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/initialize.h"
#include "platform/paths.h"
#include "tools/kivro_publish_writer.h"

namespace kivro {

namespace {

const char kUsage[] =
    "usage: kivro-publish RELEASE_DIR SERVER_DIR [--previous PREVIOUS_RELEASE_DIR] [options]\n"
    "\n"
    "Writes into SERVER_DIR the tree the launcher fetches from:\n"
    "  vrl/newvrl/<project>.vrl   the patch list\n"
    "  dist/<project>/...         one zip archive per file, per package and per entity\n"
    "Files whose names end in \".npk\" are packages: published whole and entity by\n"
    "entity (under dist/<project>/__npk_entity/). With --previous, files, packages and\n"
    "entities of the previous release that are gone are listed for removal.\n"
    "\n"
    "options:\n"
    "  --previous DIR        the release published before this one\n"
    "  --subdir              per-directory URLs (the launcher's Y_SUBDIR mode); the\n"
    "                        default is flat URLs, where file names must be unique\n"
    "  --project NAME        list and folder name (default gobanvista)\n"
    "  --download-url URL    DOWNLOADURL value of the list (informational)\n"
    "  --list-patch VERSION  also write the list-patch format: <project>.pul and\n"
    "                        dist/<project>/patch_VERSION.zip with the files changed\n"
    "                        since --previous (all files without it)\n"
    "  --list-patch-folder F DIRECTORY value of the list patch (default patch)\n"
    "  --peer-source URL     write a peer-engine meta file <file>.swarmlet beside\n"
    "                        every published file, with URL (http://host:port, the\n"
    "                        server of SERVER_DIR) as the file's source\n"
    "  --torrents URL        write a BitTorrent metainfo <file>.torrent beside every\n"
    "                        published file (v1, web seed: the file's URL under URL,\n"
    "                        http://host:port[/path], the server of SERVER_DIR) and\n"
    "                        the meta file <file>.swarmlet naming it, for the swarm\n"
    "                        engine\n"
    "  --sign SECRET_KEY     also write vrl/newvrl/<project>.vrl.manifest (SHA-256,\n"
    "                        size and path of every file written) and its signature\n"
    "                        <project>.vrl.manifest.minisig with this minisign secret\n"
    "                        key (made with minisign -G -W)\n"
    "  --published SECONDS   the manifest's publication time (UTC seconds; default now)\n"
    "  --help                this text\n"
    "\n"
    "Paths are POSIX paths (or Windows paths of the launcher's view). The same release\n"
    "always gives the same bytes; list times are the files' times in local time.\n";

// POSIX paths are turned into the system's Windows view; "X:..." stays.
std::string WindowsPath(const std::string& arg) {
  if (arg.size() >= 2 && arg[1] == ':') return arg;
  return platform::ToWindowsPath(arg);
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  platform::Initialize();
  PublishOptions options;
  std::string positional[2];
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "kivro-publish: %s needs a value\n", what);
        return nullptr;
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--subdir") {
      options.per_directory = true;
    } else if (a == "--previous" || a == "--project" || a == "--download-url" ||
               a == "--list-patch" || a == "--list-patch-folder" || a == "--peer-source" ||
               a == "--torrents" || a == "--sign" || a == "--published") {
      const char* v = value(a.c_str());
      if (v == nullptr) return 2;
      if (a == "--previous")
        options.previous_dir = WindowsPath(v);
      else if (a == "--project")
        options.project = v;
      else if (a == "--download-url")
        options.download_url = v;
      else if (a == "--list-patch")
        options.list_patch_version = v;
      else if (a == "--peer-source")
        options.peer_source = v;
      else if (a == "--torrents")
        options.torrent_base = v;
      else if (a == "--sign")
        options.sign_key_file = WindowsPath(v);
      else if (a == "--published") {
        char* end = nullptr;
        long long seconds = std::strtoll(v, &end, 10);
        if (end == v || *end != '\0' || seconds < 0) {
          std::fprintf(stderr, "kivro-publish: --published takes UTC seconds\n");
          return 2;
        }
        options.published = seconds;
      }
      else
        options.list_patch_folder = v;
    } else if (a.rfind("--", 0) == 0 || count == 2) {
      std::fprintf(stderr, "kivro-publish: unexpected argument %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      positional[count++] = a;
    }
  }
  if (count != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  options.release_dir = WindowsPath(positional[0]);
  options.server_dir = WindowsPath(positional[1]);
  PublishSummary summary;
  std::string error;
  if (!Publish(options, &summary, &error)) {
    std::fprintf(stderr, "kivro-publish: %s\n", error.c_str());
    return 1;
  }
  std::printf(
      "published %d files, %d packages with %d entities (%d archives); removals: %d files, %d "
      "packages, %d entities\nlist: %s\n",
      summary.files, summary.packages, summary.entities, summary.archives, summary.removed_files,
      summary.removed_packages, summary.removed_entities, summary.list_path.c_str());
  if (!summary.manifest_path.empty())
    std::printf("signed manifest: %s\n", summary.manifest_path.c_str());
  if (!summary.list_patch_path.empty())
    std::printf("list patch: %s\n", summary.list_patch_path.c_str());
  return 0;
}
