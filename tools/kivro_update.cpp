// kivro-update: the operator's command-line front to the update manager.
//   kivro-update fetch URL LOCAL_PATH [options]   one file
//   kivro-update run ...                          a whole update
#include <cstdio>
#include <cstring>

#include "platform/initialize.h"
#include "tools/kivro_update_fetch.h"
#include "tools/kivro_update_run.h"

namespace kivro {

namespace {
void Usage(FILE* out) {
  std::fputs("usage: kivro-update fetch URL LOCAL_PATH [options]\n", out);
  std::fputs("       kivro-update run --local-base DIR --list-url URL --url-base URL [options]\n", out);
  std::fputs("Each command explains itself with --help.\n", out);
}
}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  platform::Initialize();
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "fetch") == 0) return FetchCommand(argc - 1, argv + 1);
  if (std::strcmp(argv[1], "run") == 0) return RunUpdateCommand(argc - 1, argv + 1);
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    Usage(stdout);
    return 0;
  }
  std::fprintf(stderr, "kivro-update: unknown command %s\n", argv[1]);
  Usage(stderr);
  return 2;
}
