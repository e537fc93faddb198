#include "sysinfo/display_adapter_info.h"

#include <cstdio>
#include <cstring>

#include "platform/codepage.h"

namespace kivro {

namespace {

using Root = platform::RegistryRoot;
constexpr size_t kMachineHivePrefix = 18;  // "\Registry\Machine\"

// Copies into a 256-byte field, cut at 255 characters.
void Put(char (&field)[256], const std::string& value) {
  std::snprintf(field, sizeof field, "%s", value.c_str());
}

}  // namespace

int ChooseTranslation(const std::vector<std::pair<uint16_t, uint16_t>>& translations,
                      uint16_t user_language) {
  if (translations.empty()) return -1;
  const auto find = [&](auto predicate) {
    for (size_t i = 0; i < translations.size(); ++i)
      if (predicate(translations[i].first)) return int(i);
    return -1;
  };
  int i = find([&](uint16_t l) { return l == user_language; });
  if (i < 0) i = find([&](uint16_t l) { return (l & 0xFF) == (user_language & 0xFF); });
  if (i < 0) i = find([](uint16_t l) { return l == 0; });
  if (i < 0) i = find([](uint16_t l) { return (l & 0xFF) == 0; });
  if (i < 0) i = find([](uint16_t l) { return (l & 0xFF) == 9; });
  return i < 0 ? 0 : i;
}

uint32_t RoundVideoMemory(uint32_t raw) {
  if (raw == 0) return 0;
  uint64_t p = 1;
  while (p < raw) p <<= 1;
  // The nearer of P and P/2; a tie goes up. 2^32 does not fit the answer.
  uint64_t nearer = p - raw <= raw - p / 2 ? p : p / 2;
  return uint32_t(nearer > 0x80000000u ? 0x80000000u : nearer);
}

DisplayAdapterInfo::DisplayAdapterInfo() : DisplayAdapterInfo(SystemDisplaySystem()) {}

DisplayAdapterInfo::DisplayAdapterInfo(const DisplaySystem& system) {
  if (system.screen_size) system.screen_size(&width_, &height_);
  const RegistryReader& registry = *system.registry;
  bool found = ReadNtAdapter(registry);
  if (!found) {
    found = ReadWin9xAdapter(registry);
    uint64_t bytes = 0;
    uint32_t raw = 0;
    if (system.directdraw_video_memory && system.directdraw_video_memory(&bytes))
      raw = uint32_t(bytes >> 20);
    video_memory_ = int(RoundVideoMemory(raw));
    if (!found) return;
  }
  ReadDriverFile(system);
}

bool DisplayAdapterInfo::ReadNtAdapter(const RegistryReader& registry) {
  std::string device;
  if (!registry.GetStringLimited(Root::kLocalMachine, "HARDWARE\\DEVICEMAP\\VIDEO",
                                 "\\Device\\Video0", 512, &device))
    return false;
  // The value names the adapter's key inside the machine hive.
  if (device.size() <= kMachineHivePrefix) return false;
  const std::string key = device.substr(kMachineHivePrefix);
  if (!registry.KeyExists(Root::kLocalMachine, key)) return false;

  std::string text;
  uint32_t number = 0;
  if (!registry.GetString(Root::kLocalMachine, key, "Device Description", &text)) return false;
  Put(device_description_, text);
  if (!registry.GetNumber(Root::kLocalMachine, key, "HardwareInformation.MemorySize", &number))
    return false;
  video_memory_ = int(number >> 20);
  // Stored as UTF-16 on Windows; the registry reader answers code page 949.
  if (!registry.GetString(Root::kLocalMachine, key, "HardwareInformation.ChipType", &text))
    return false;
  Put(chip_name_, text);
  if (!registry.GetString(Root::kLocalMachine, key, "InstalledDisplayDrivers", &text))
    return false;
  Put(driver_file_, text + ".dll");
  if (!registry.GetString(Root::kLocalMachine, key, "HardwareInformation.DacType", &text))
    return false;
  Put(dac_type_, text);
  return true;
}

bool DisplayAdapterInfo::ReadWin9xAdapter(const RegistryReader& registry) {
  const std::string enum_key = "Config Manager\\Enum";
  if (!registry.KeyExists(Root::kDynData, enum_key)) return false;
  for (const std::string& sub : registry.SubKeys(Root::kDynData, enum_key)) {
    const std::string sub_key = enum_key + "\\" + sub;
    if (!registry.KeyExists(Root::kDynData, sub_key)) return false;
    std::string hardware, cls, desc, driver, driver_desc, drv;
    if (!registry.GetString(Root::kDynData, sub_key, "HardWareKey", &hardware)) continue;
    const std::string device_key = "Enum\\" + hardware;
    if (!registry.GetString(Root::kLocalMachine, device_key, "Class", &cls) ||
        !platform::EqualsNoCase(cls, "DISPLAY"))
      continue;
    if (!registry.GetString(Root::kLocalMachine, device_key, "DeviceDesc", &desc)) continue;
    if (!registry.GetString(Root::kLocalMachine, device_key, "Driver", &driver)) continue;
    const std::string class_key = "System\\CurrentControlSet\\Services\\Class\\" + driver;
    if (!registry.GetString(Root::kLocalMachine, class_key, "DriverDesc", &driver_desc)) continue;
    if (!registry.GetString(Root::kLocalMachine, class_key + "\\DEFAULT", "drv", &drv)) continue;
    Put(device_description_, desc);
    Put(chip_name_, driver_desc);
    Put(driver_file_, drv);
    return true;
  }
  return false;  // the walk ran out of sub-keys
}

void DisplayAdapterInfo::ReadDriverFile(const DisplaySystem& system) {
  DriverVersionResource resource;
  if (system.read_version_resource && system.read_version_resource(driver_file_, &resource)) {
    std::snprintf(driver_version_, sizeof driver_version_, "%d.%d.%d.%d",
                  resource.file_version[0], resource.file_version[1], resource.file_version[2],
                  resource.file_version[3]);
    const uint16_t language = system.user_default_language ? system.user_default_language() : 0;
    int t = ChooseTranslation(resource.translations, language);
    if (t >= 0) {
      char path[64];
      std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\CompanyName",
                    resource.translations[size_t(t)].first,
                    resource.translations[size_t(t)].second);
      for (const auto& [name, value] : resource.strings)
        if (name == path) Put(company_name_, value);
    }
  }
  if (!system.file_write_time) return;
  const std::string windir = system.windows_directory ? system.windows_directory() : "";
  for (const char* folder : {"\\system32\\", "\\system\\"}) {
    platform::FileTime write;
    if (!system.file_write_time(windir + folder + driver_file_, &write)) continue;
    platform::CalendarTime t = platform::SecondsToCalendar(platform::FileTimeToUnix(write));
    std::snprintf(driver_date_, sizeof driver_date_, "%4d-%02d-%02d %02d:%02d:%02d", t.year,
                  t.month, t.day, t.hour, t.minute, t.second);
    return;
  }
}

}  // namespace kivro
