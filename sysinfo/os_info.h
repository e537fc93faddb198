// Names the Windows edition from the version record and, for old NT
// systems without the extended record, the registry.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/system_info.h"
#include "sysinfo/registry_reader.h"

namespace kivro::Zelmora {

// Fills the record in the form its size asks for (GetVersionEx).
using VersionQuery = std::function<bool(platform::WindowsVersionRecord* record)>;

class OSInfo {
 public:
  // This machine's version and registry.
  OSInfo();
  OSInfo(const VersionQuery& query, const RegistryReader& registry);
  virtual ~OSInfo();

  uint32_t major() const { return version_.major; }
  uint32_t minor() const { return version_.minor; }
  uint32_t build() const { return version_.build; }
  // 0 undetermined, 1-22 the edition table, 23 Win32s.
  int32_t edition_code() const { return edition_code_; }
  const char* edition_name() const { return edition_name_; }
  // NT family only: "<service pack> (Build <n>)\n".
  const char* service_pack() const { return service_pack_; }
  // 1 Windows 95/98/ME, 2 NT family, 3 Win32s, 0 anything else (also when
  // the version could not be read).
  int32_t platform_code() const;

 private:
  void Detect(const VersionQuery& query, const RegistryReader& registry);
  void RefineByProductType();
  bool RefineByRegistry(const RegistryReader& registry);
  void MakeServicePackText(const RegistryReader& registry);

  int32_t edition_code_ = 0;
  char edition_name_[128] = {};
  char service_pack_[128] = {};
  platform::WindowsVersionRecord version_;
  int32_t extended_valid_ = 0;
  bool version_read_ = false;
};

// The edition table: the name of a code, "Unknown" outside 1-22.
const char* EditionName(int32_t code);

}  // namespace kivro::Zelmora
