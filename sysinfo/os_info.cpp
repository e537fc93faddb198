#include "sysinfo/os_info.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <cstring>

#include "platform/codepage.h"

namespace kivro::Zelmora {
namespace {

const char* const kEditions[] = {
    "Windows 95",
    "Windows 95 OSR2",
    "Windows 98",
    "Windows 98 SE",
    "Windows ME",
    "Windows NT",
    "Windows NT 3.51",
    "Windows NT 4.0 Workstation",
    "Windows NT 4.0 Server",
    "Windows NT 4.0 Enterprise Server",
    "Windows 2000",
    "Windows 2000 Professional",
    "Windows 2000 Server",
    "Windows 2000 Datacenter Server",
    "Windows 2000 Advanced Server",
    "Windows XP",
    "Windows XP Home",
    "Windows XP Professional",
    "Windows 2003 Server",
    "Windows 2003 Enterprise Server",
    "Windows 2003 Datacenter Server",
    "Windows 2003 WebEdition Server",
};

constexpr uint16_t kSuiteEnterprise = 0x0002;
constexpr uint16_t kSuiteDatacenter = 0x0080;
constexpr uint16_t kSuitePersonal = 0x0200;
constexpr uint16_t kSuiteBlade = 0x0400;
constexpr uint8_t kWorkstation = 1;
constexpr uint8_t kServer = 3;

const char kProductOptionsKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char kHotfixKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

}  // namespace

const char* EditionName(int32_t code) {
  if (code < 1 || code > 22) return "Unknown";
  return kEditions[code - 1];
}

OSInfo::OSInfo() : OSInfo([](platform::WindowsVersionRecord* r) {
  return platform::GetWindowsVersion(r);
}, SystemRegistryReader()) {}

OSInfo::OSInfo(const VersionQuery& query, const RegistryReader& registry) {
  Detect(query, registry);
  std::snprintf(edition_name_, sizeof edition_name_, "%s", EditionName(edition_code_));
}

OSInfo::~OSInfo() = default;

int32_t OSInfo::platform_code() const {
  // A record that could not be read says nothing, not "Win32s".
  if (!version_read_) return 0;
  switch (version_.platform_id) {
    case 1: return 1;
    case 2: return 2;
    case 0: return 3;
    default: return 0;
  }
}

void OSInfo::Detect(const VersionQuery& query, const RegistryReader& registry) {
  version_ = platform::WindowsVersionRecord();
  version_.size = platform::kVersionRecordExtendedSize;
  extended_valid_ = query(&version_) ? 1 : 0;
  if (!extended_valid_) {
    version_ = platform::WindowsVersionRecord();
    version_.size = platform::kVersionRecordBasicSize;
    if (!query(&version_)) {
      version_ = platform::WindowsVersionRecord();
      return;
    }
  }
  version_read_ = true;
  const uint32_t major = version_.major, minor = version_.minor;

  switch (version_.platform_id) {
    case 0:
      edition_code_ = 23;
      return;
    case 1:
      if (major != 4) return;
      if (minor == 0) {
        edition_code_ = 1;
        if (version_.service_pack[1] == 'C' || version_.service_pack[1] == 'B') edition_code_ = 2;
      } else if (minor == 10) {
        edition_code_ = 3;
        if (version_.service_pack[1] == 'A') edition_code_ = 4;
      } else if (minor == 90) {
        edition_code_ = 5;
      }
      return;
    case 2:
      break;
    default:
      return;
  }

  if (major == 5) {
    if (minor == 2) edition_code_ = 19;
    else if (minor == 1) edition_code_ = 16;
    else if (minor == 0) edition_code_ = 11;
  } else if (major <= 4) {
    edition_code_ = 6;
  }
  if (extended_valid_) {
    RefineByProductType();
  } else if (!RefineByRegistry(registry)) {
    return;  // the product type cannot be read: the code so far stands
  }
  MakeServicePackText(registry);
}

void OSInfo::RefineByProductType() {
  const uint32_t major = version_.major, minor = version_.minor;
  const uint16_t suite = version_.suite_mask;
  // The table knows no system after Windows 2003; a later one keeps code 0
  // instead of being named after an old edition by its minor version alone.
  if (major >= 6) return;
  if (version_.product_type == kWorkstation) {
    if (major == 4) {
      edition_code_ = 8;
    } else if (suite & kSuitePersonal) {
      if (minor == 1) edition_code_ = 17;
    } else {
      if (minor == 1) edition_code_ = 18;
      else if (minor == 0) edition_code_ = 12;
    }
  } else if (version_.product_type == kServer) {
    if (major == 5 && minor == 2) {
      if (suite & kSuiteDatacenter) edition_code_ = 21;
      else if (suite & kSuiteEnterprise) edition_code_ = 20;
      else if (suite == kSuiteBlade) edition_code_ = 22;
      else edition_code_ = 19;
    } else if (major == 5 && minor == 0) {
      if (suite & kSuiteDatacenter) edition_code_ = 14;
      else edition_code_ = (suite & kSuiteEnterprise) ? 15 : 13;
    } else {
      edition_code_ = (suite & kSuiteEnterprise) ? 10 : 9;
    }
  }
}

bool OSInfo::RefineByRegistry(const RegistryReader& registry) {
  std::string type;
  if (!registry.GetStringLimited(platform::RegistryRoot::kLocalMachine, kProductOptionsKey,
                                 "ProductType", 80, &type))
    return false;
  const uint32_t major = version_.major, minor = version_.minor;
  if (platform::EqualsNoCase(type, "WINNT")) {
    if (major <= 4) edition_code_ = 8;
  } else if (platform::EqualsNoCase(type, "LANMANNT")) {
    if (major == 5 && minor == 2) edition_code_ = 19;
    else if (major == 5 && minor == 0) edition_code_ = 13;
    else if (major <= 4) edition_code_ = 9;
  } else if (platform::EqualsNoCase(type, "SERVERNT")) {
    if (major == 5 && minor == 2) edition_code_ = 20;
    else if (major == 5 && minor == 0) edition_code_ = 15;
    else if (major <= 4) edition_code_ = 10;
  }
  return true;
}

void OSInfo::MakeServicePackText(const RegistryReader& registry) {
  char system_text[129];
  std::memcpy(system_text, version_.service_pack, 128);
  system_text[128] = '\0';  // the system's text need not be terminated
  const int build = int(version_.build & 0xFFFF);
  std::string text;
  if (version_.major == 4 && platform::EqualsNoCase(system_text, "Service Pack 6") &&
      registry.KeyExists(platform::RegistryRoot::kLocalMachine, kHotfixKey)) {
    text = "Service Pack 6a";
  } else {
    text = system_text;
  }
  text += " (Build " + std::to_string(build) + ")\n";
  // Cut at the 128-byte field (a long system text loses its tail).
  const size_t n = std::min(text.size(), sizeof service_pack_ - 1);
  std::memcpy(service_pack_, text.data(), n);
  service_pack_[n] = '\0';
}

}  // namespace kivro::Zelmora
