#include "sysinfo/display_adapter_info.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/testing/system_kind.h"
#include "sysinfo/fake_registry.h"

namespace kivro {

namespace {

using Root = platform::RegistryRoot;
const char kAdapterKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Video\\{23A77BF7-ED96-40EC-AF06-9B1F4867732A}\\0000";

struct FakeDisplay {
  FakeRegistry registry;
  bool has_directdraw = true;
  uint64_t directdraw_bytes = 24ull << 20;
  std::map<std::string, platform::FileTime> files;
  std::map<std::string, DriverVersionResource> resources;

  DisplaySystem System() {
    DisplaySystem s;
    s.screen_size = [](int* w, int* h) {
      *w = 1024;
      *h = 768;
    };
    s.registry = &registry;
    s.directdraw_video_memory = [this](uint64_t* bytes) {
      *bytes = directdraw_bytes;
      return has_directdraw;
    };
    s.read_version_resource = [this](const std::string& file, DriverVersionResource* out) {
      auto it = resources.find(file);
      if (it == resources.end()) return false;
      *out = it->second;
      return true;
    };
    s.user_default_language = [] { return uint16_t(0x0412); };
    s.file_write_time = [this](const std::string& path, platform::FileTime* write) {
      auto it = files.find(path);
      if (it == files.end()) return false;
      *write = it->second;
      return true;
    };
    s.windows_directory = [] { return std::string("C:\\WINDOWS"); };
    return s;
  }

  void AddNtAdapter(bool with_dac = true) {
    registry.SetString(Root::kLocalMachine, "HARDWARE\\DEVICEMAP\\VIDEO", "\\Device\\Video0",
                       std::string("\\Registry\\Machine\\") + kAdapterKey);
    registry.SetString(Root::kLocalMachine, kAdapterKey, "Device Description",
                       "NVIDIA GeForce4 MX 440");
    registry.SetNumber(Root::kLocalMachine, kAdapterKey, "HardwareInformation.MemorySize",
                       64u << 20);
    registry.SetString(Root::kLocalMachine, kAdapterKey, "HardwareInformation.ChipType",
                       "GeForce4 MX 440");
    registry.SetString(Root::kLocalMachine, kAdapterKey, "InstalledDisplayDrivers", "nv4_disp");
    if (with_dac)
      registry.SetString(Root::kLocalMachine, kAdapterKey, "HardwareInformation.DacType",
                         "Integrated RAMDAC");
  }

  // A Windows 98 machine: sub-key 0001 is a sound card, 0002 the display.
  void AddWin9xAdapter() {
    registry.AddKey(Root::kDynData, "Config Manager\\Enum");
    registry.AddKey(Root::kDynData, "Config Manager\\Enum\\0001");
    registry.SetString(Root::kDynData, "Config Manager\\Enum\\0001", "HardWareKey", "PCI\\SOUND");
    registry.SetString(Root::kLocalMachine, "Enum\\PCI\\SOUND", "Class", "MEDIA");
    registry.AddKey(Root::kDynData, "Config Manager\\Enum\\0002");
    registry.SetString(Root::kDynData, "Config Manager\\Enum\\0002", "HardWareKey", "PCI\\VGA");
    registry.SetString(Root::kLocalMachine, "Enum\\PCI\\VGA", "Class", "Display");
    registry.SetString(Root::kLocalMachine, "Enum\\PCI\\VGA", "DeviceDesc", "Voodoo3");
    registry.SetString(Root::kLocalMachine, "Enum\\PCI\\VGA", "Driver", "DISPLAY\\0000");
    registry.SetString(Root::kLocalMachine,
                       "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\0000", "DriverDesc",
                       "3dfx Voodoo3 PCI");
    registry.SetString(Root::kLocalMachine,
                       "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\0000\\DEFAULT", "drv",
                       "3dfxvs.drv");
  }
};

TEST(VideoMemoryRounding, NearerPowerOfTwoWithTiesUp) {
  EXPECT_EQ(RoundVideoMemory(0), 0u);
  EXPECT_EQ(RoundVideoMemory(1), 1u);
  EXPECT_EQ(RoundVideoMemory(3), 4u);
  EXPECT_EQ(RoundVideoMemory(24), 32u);
  EXPECT_EQ(RoundVideoMemory(20), 16u);
  EXPECT_EQ(RoundVideoMemory(32), 32u);
  EXPECT_EQ(RoundVideoMemory(47), 32u);
  EXPECT_EQ(RoundVideoMemory(48), 64u);
  EXPECT_EQ(RoundVideoMemory(0xFFFFFFFFu), 0x80000000u);  // 2^32 would not fit
}

TEST(DriverTranslation, PreferenceOrder) {
  using T = std::vector<std::pair<uint16_t, uint16_t>>;
  EXPECT_EQ(ChooseTranslation({}, 0x0412), -1);
  EXPECT_EQ(ChooseTranslation(T{{0x0409, 1200}, {0x0412, 949}}, 0x0412), 1);  // exact
  EXPECT_EQ(ChooseTranslation(T{{0x0409, 1200}, {0x0812, 949}}, 0x0412), 1);  // same low byte
  EXPECT_EQ(ChooseTranslation(T{{0x0409, 1200}, {0x0100, 0}, {0x0000, 0}}, 0x0412), 2);  // neutral
  EXPECT_EQ(ChooseTranslation(T{{0x0407, 1200}, {0x0100, 0}}, 0x0412), 1);    // low byte 0
  EXPECT_EQ(ChooseTranslation(T{{0x0407, 1200}, {0x0809, 0}}, 0x0412), 1);    // English
  EXPECT_EQ(ChooseTranslation(T{{0x0407, 1200}, {0x040C, 0}}, 0x0412), 0);    // the first
}

TEST(DisplayAdapter, NtFamilyPathWithDriverFileData) {
  FakeDisplay d;
  d.AddNtAdapter();
  d.files["C:\\WINDOWS\\system32\\nv4_disp.dll"] =
      platform::UnixToFileTime(1049198400);  // 2003-04-01 12:00:00 UTC
  DriverVersionResource res;
  res.file_version[0] = 6;
  res.file_version[1] = 14;
  res.file_version[2] = 10;
  res.file_version[3] = 4403;
  res.translations = {{0x0409, 0x04B0}, {0x0412, 0x04B0}};
  res.strings = {{"\\StringFileInfo\\040904B0\\CompanyName", "NVIDIA Corporation"},
                 {"\\StringFileInfo\\041204B0\\CompanyName", "NVIDIA Korea"}};
  d.resources["nv4_disp.dll"] = res;

  DisplayAdapterInfo info(d.System());
  EXPECT_EQ(info.width(), 1024);
  EXPECT_EQ(info.height(), 768);
  EXPECT_EQ(info.video_memory(), 64);
  EXPECT_STREQ(info.chip_name(), "GeForce4 MX 440");
  EXPECT_STREQ(info.device_description(), "NVIDIA GeForce4 MX 440");
  EXPECT_STREQ(info.dac_type(), "Integrated RAMDAC");
  EXPECT_STREQ(info.driver_file(), "nv4_disp.dll");
  EXPECT_STREQ(info.driver_version(), "6.14.10.4403");
  EXPECT_STREQ(info.company_name(), "NVIDIA Korea");
  EXPECT_STREQ(info.driver_date(), "2003-04-01 12:00:00");
}

TEST(DisplayAdapter, IncompleteNtPathFallsToDirectDrawMemory) {
  FakeDisplay d;
  d.AddNtAdapter(/*with_dac=*/false);
  d.directdraw_bytes = 20ull << 20;
  DisplayAdapterInfo info(d.System());
  EXPECT_EQ(info.video_memory(), 16);
  EXPECT_STREQ(info.driver_date(), "");  // no path succeeded: no driver data
  EXPECT_STREQ(info.driver_version(), "");
}

TEST(DisplayAdapter, Windows9xPathSkipsOtherDevices) {
  FakeDisplay d;
  d.AddWin9xAdapter();
  d.files["C:\\WINDOWS\\system\\3dfxvs.drv"] = platform::UnixToFileTime(946684800);
  DisplayAdapterInfo info(d.System());
  EXPECT_STREQ(info.chip_name(), "3dfx Voodoo3 PCI");
  EXPECT_STREQ(info.device_description(), "Voodoo3");
  EXPECT_STREQ(info.driver_file(), "3dfxvs.drv");
  EXPECT_EQ(info.video_memory(), 32);                   // 24 MB from DirectDraw
  EXPECT_STREQ(info.driver_date(), "2000-01-01 00:00:00");  // from the old system folder
  EXPECT_STREQ(info.dac_type(), "");
}

TEST(DisplayAdapter, NothingKnownLeavesScreenOnly) {
  FakeDisplay d;
  d.has_directdraw = false;
  DisplayAdapterInfo info(d.System());
  EXPECT_EQ(info.width(), 1024);
  EXPECT_EQ(info.video_memory(), 0);
  EXPECT_STREQ(info.chip_name(), "");
  // A value too short to hold the machine-hive prefix fails the NT path.
  d.registry.SetString(Root::kLocalMachine, "HARDWARE\\DEVICEMAP\\VIDEO", "\\Device\\Video0",
                       "\\Registry\\");
  EXPECT_STREQ(DisplayAdapterInfo(d.System()).chip_name(), "");
}

TEST(DisplayAdapter, LongTextsAreCutToTheirFields) {
  FakeDisplay d;
  d.AddNtAdapter();
  d.registry.SetString(Root::kLocalMachine, kAdapterKey, "HardwareInformation.ChipType",
                       std::string(400, 'C'));
  DisplayAdapterInfo info(d.System());
  EXPECT_EQ(std::string(info.chip_name()), std::string(255, 'C'));
}

// This host: Windows has a screen and video memory (from the adapter's keys
// or, where its driver writes none, as under Wine, from DirectDraw); the
// chip's name is the driver's to write. The POSIX emulation reports the
// screen alone.
TEST(DisplayAdapter, ThisHostReportsWhatItsSystemKnows) {
  DisplayAdapterInfo info;
  if (platform::testing_support::kOnWindows) {
    EXPECT_GT(info.width(), 0);
    EXPECT_GT(info.height(), 0);
    EXPECT_GT(info.video_memory(), 0);
  } else {
    EXPECT_GE(info.width(), 0);
    EXPECT_EQ(info.video_memory(), 0);
    EXPECT_STREQ(info.chip_name(), "");
  }
}

}  // namespace

}  // namespace kivro
