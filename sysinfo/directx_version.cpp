#include "sysinfo/directx_version.h"

#include <cstdio>

namespace kivro {

DirectXVersion::DirectXVersion() : DirectXVersion(SystemRegistryReader()) {}

DirectXVersion::DirectXVersion(const RegistryReader& registry) {
  std::string text;
  if (registry.GetStringLimited(platform::RegistryRoot::kLocalMachine,
                                "SOFTWARE\\Microsoft\\DirectX", "Version", 80, &text))
    Parse(text);
}

bool DirectXVersion::Parse(const std::string& text) {
  int a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(text.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d) != 4 || a != 4) return false;
  major_ = b;
  minor_ = c;
  // The last field counts builds from 100 x major; each doubling of it
  // marks one more revision letter.
  const int64_t r = int64_t(d) - 100 * int64_t(b);
  revision_[0] = '\0';
  if (r > 0) {
    int log2 = 0;
    while ((r >> (log2 + 1)) > 0) ++log2;
    revision_[0] = char('a' + log2);
  }
  return true;
}

}  // namespace kivro
