// The installed DirectX version, from the registry's version text.
#pragma once
#include <cstdint>
#include <string>

#include "sysinfo/registry_reader.h"

namespace kivro {

class DirectXVersion {
 public:
  DirectXVersion();  // this machine's registry
  explicit DirectXVersion(const RegistryReader& registry);

  int32_t major() const { return major_; }  // 0 when unknown
  int32_t minor() const { return minor_; }
  const char* revision() const { return revision_; }  // "a", "b", ... or ""

  // Parses a version text such as "4.09.00.0904" (major 9, minor 0,
  // revision 'c'); false leaves the version at 0.
  bool Parse(const std::string& text);

 private:
  int32_t major_ = 0;
  int32_t minor_ = 0;
  char revision_[2] = {};
};

}  // namespace kivro
