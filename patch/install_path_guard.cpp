#include "patch/install_path_guard.h"

#include <cctype>
#include <cstring>

namespace kivro {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// True when [begin, end) is a component that climbs: only dots (two or
// more), possibly with trailing spaces, which Windows strips.
bool ClimbingComponent(const char* begin, const char* end) {
  while (end > begin && end[-1] == ' ') --end;
  if (end - begin < 2) return false;
  for (const char* p = begin; p < end; ++p)
    if (*p != '.') return false;
  return true;
}

// No ':' and no climbing component in `text`.
bool SafeComponents(const char* text) {
  const char* start = text;
  for (const char* p = text;; ++p) {
    if (*p == ':') return false;
    if (*p == '\0' || IsSeparator(*p)) {
      if (ClimbingComponent(start, p)) return false;
      if (*p == '\0') return true;
      start = p + 1;
    }
  }
}

}  // namespace

bool IsSafeRelativeName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  if (IsSeparator(name[0])) return false;
  return SafeComponents(name);
}

bool IsSafeListDirectory(const char* path, int keyword) {
  if (path == nullptr || path[0] == '\0') return false;
  if (keyword == 0) return IsSeparator(path[0]) && SafeComponents(path);
  // A keyword folder starts with the Windows, system or temporary folder:
  // a drive letter, then an absolute path.
  if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') path += 2;
  return SafeComponents(path);
}

}  // namespace kivro
