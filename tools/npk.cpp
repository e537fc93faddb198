// npk: lists, extracts and edits NPK package files from the command line.
// Paths are POSIX paths; entity names are written as inside the package
// (with "\" between folders).
#include "patch/npk/npk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/filetime.h"
#include "platform/initialize.h"
#include "platform/paths.h"

namespace kivro {

namespace {

const char kUsage[] =
    "usage: npk COMMAND PACKAGE [ARGS]\n"
    "  npk list PACKAGE                      entities: name, stored and unpacked size,\n"
    "                                        flags, modification time (UTC)\n"
    "  npk add PACKAGE FILE [NAME] [--flags F]\n"
    "                                        add FILE as entity NAME (default: the file's\n"
    "                                        name); F: 0x100 enciphered, 0x1000 compressed\n"
    "  npk rm PACKAGE NAME                   remove an entity\n"
    "  npk cat PACKAGE NAME                  write an entity's content to stdout\n"
    "  npk key PACKAGE K1 K2 K3 K4           re-encode every entity with a new key\n"
    "  npk create PACKAGE                    write an empty package\n"
    "  npk --help\n";

int Usage(const char* problem) {
  if (problem) fprintf(stderr, "npk: %s\n", problem);
  fputs(kUsage, stderr);
  return 2;
}

int Fail(const std::string& what, int32_t code) {
  fprintf(stderr, "npk: %s: %s (%d)\n", what.c_str(), NpkResultText(code), code);
  return 1;
}

bool ParseNumber(const char* text, uint32_t* value) {
  char* end = nullptr;
  unsigned long long v = strtoull(text, &end, 0);
  if (end == text || *end != '\0' || v > 0xFFFFFFFFull || text[0] == '-') return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

std::string FormatTime(platform::FileTime time) {
  if (time.Value() == 0) return "-";
  platform::CalendarTime t = platform::SecondsToCalendar(platform::FileTimeToUnix(time));
  char text[32];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
           t.minute, t.second);
  return text;
}

int Open(NpkFile* package, const std::string& path) {
  int32_t rc = NpkOpen(package, path.c_str());
  return rc == NPK_SUCCESS ? 0 : Fail("cannot open " + platform::ToPosixPath(path), rc);
}

int Save(NpkFile* package) {
  int32_t rc = NpkSave(package, nullptr, true);
  if (rc == NPK_SUCCESS) return 0;
  return Fail("cannot save " + platform::ToPosixPath(package->path), rc);
}

int List(const std::string& path) {
  NpkFile package;
  if (int rc = Open(&package, path)) return rc;
  printf("version %u, %u entities, key %u %u %u %u\n", package.header.version,
         package.header.entity_count, package.key[0], package.key[1], package.key[2],
         package.key[3]);
  for (NpkFileEntity* e = package.first; e != nullptr; e = e->next)
    printf("%s\t%u\t%u\t0x%x\t%s\n", e->name.c_str(), e->info.stored_size, e->info.unpacked_size,
           e->info.flags, FormatTime(e->info.modified).c_str());
  return 0;
}

int Cat(const std::string& path, const char* name) {
  NpkFile package;
  if (int rc = Open(&package, path)) return rc;
  NpkFileEntity* entity = NpkFind(&package, name);
  if (entity == nullptr) return Fail(name, NPK_ERROR_ENTITY_NOT_IN_PACKAGE);
  std::vector<uint8_t> content;
  int32_t rc = NpkReadEntity(&package, entity, &content);
  if (rc != NPK_SUCCESS) return Fail(name, rc);
  if (!platform::MakeStreamBinary(platform::ConsoleStream::kOut) ||
      fwrite(content.data(), 1, content.size(), stdout) != content.size() || fflush(stdout) != 0) {
    fprintf(stderr, "npk: cannot write to stdout\n");
    return 1;
  }
  return 0;
}

int Add(const std::string& path, int argc, char** argv) {
  const char* file = nullptr;
  const char* name = nullptr;
  uint32_t flags = 0;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--flags") == 0) {
      if (i + 1 >= argc || !ParseNumber(argv[++i], &flags)) return Usage("--flags needs a number");
    } else if (file == nullptr) {
      file = argv[i];
    } else if (name == nullptr) {
      name = argv[i];
    } else {
      return Usage("too many arguments for add");
    }
  }
  if (file == nullptr) return Usage("add needs a FILE");
  std::string source = platform::ToWindowsPath(file);
  std::string entity_name = name ? std::string(name) : std::string(file);
  if (name == nullptr) {
    size_t slash = entity_name.find_last_of('/');
    if (slash != std::string::npos) entity_name = entity_name.substr(slash + 1);
  }
  NpkFile package;
  if (int rc = Open(&package, path)) return rc;
  int32_t rc = NpkAddFile(&package, source.c_str(), entity_name.c_str(), flags);
  if (rc != NPK_SUCCESS) return Fail("cannot add " + std::string(file) + " as " + entity_name, rc);
  return Save(&package);
}

int Remove(const std::string& path, const char* name) {
  NpkFile package;
  if (int rc = Open(&package, path)) return rc;
  int32_t rc = NpkRemove(&package, NpkFind(&package, name));
  if (rc != NPK_SUCCESS) return Fail(name, rc);
  return Save(&package);
}

int Key(const std::string& path, char** words) {
  uint32_t k[4];
  for (int i = 0; i < 4; ++i)
    if (!ParseNumber(words[i], &k[i])) return Usage("key words are numbers up to 4294967295");
  NpkFile package;
  if (int rc = Open(&package, path)) return rc;
  NpkSetKey(&package, k[0], k[1], k[2], k[3]);
  return Save(&package);
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  platform::Initialize();
  if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 3) return Usage(argc < 2 ? "a command is needed" : "a PACKAGE is needed");
  std::string command = argv[1];
  std::string package = platform::ToWindowsPath(argv[2]);
  int rest = argc - 3;
  char** args = argv + 3;
  if (command == "list" && rest == 0) return List(package);
  if (command == "cat" && rest == 1) return Cat(package, args[0]);
  if (command == "add") return Add(package, rest, args);
  if (command == "rm" && rest == 1) return Remove(package, args[0]);
  if (command == "key" && rest == 4) return Key(package, args);
  if (command == "create" && rest == 0) {
    int32_t rc = NpkCreatePackage(package.c_str(), false);
    return rc == NPK_SUCCESS ? 0 : Fail("cannot create " + std::string(argv[2]), rc);
  }
  return Usage(("unknown command or wrong arguments: " + command).c_str());
}
