#include "sysinfo/client_information.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/testing/system_kind.h"
#include "sysinfo/fake_registry.h"

namespace kivro {

namespace {

using Root = platform::RegistryRoot;

using platform::testing_support::kOnWindows;

#if !defined(_WIN32)
// The probes of this host read the registry and files under the virtual
// root: give the whole test program an empty one of its own. On Windows
// they read the machine itself.
class PrivateVirtualRoot : public ::testing::Environment {
 public:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("kivro-sysinfo-" + std::to_string(std::rand()) + "-" + std::to_string(size_t(this)));
    std::filesystem::create_directories(root_);
    setenv("KIVRO_ROOT", root_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

 private:
  std::filesystem::path root_;
};
[[maybe_unused]] ::testing::Environment* const kPrivateRoot =
    ::testing::AddGlobalTestEnvironment(new PrivateVirtualRoot);
#endif

TEST(ClientReportFormat, ExactTextForFixedValues) {
  ClientReportValues v;
  v.cpu_name = "Intel(R) Pentium(R) 4 CPU 2.40GHz";
  v.cpu_clock = 2394;
  v.os_name = "Windows XP Professional";
  v.os_platform = 2;
  v.os_version = 18;
  v.vga_name = "RADEON 9600 SERIES";
  v.vga_memory = 128;
  v.screen_width = 1280;
  v.screen_height = 1024;
  v.dx_version = 9;
  v.xml_support = 5;
  v.memory_total = 512;
  v.pc_room = 'Y';
  ClientReport report;
  FormatClientReport(v, &report);
  const char expected[] =
      "===========CLIENT INFORMATION==========\n"
      "[CPU]  NAME : Intel(R) Pentium(R) 4 CPU 2.40GHz,  CLOCK : 2394\n"
      "[OS]   NAME : Windows XP Professional, PLATFORM : 2, VERSION : 18\n"
      "[VGA]  NAME : RADEON 9600 SERIES,  MEMORY : 128, SCREEN : 1280 X 1024\n"
      "[DX]   VER : 9\n"
      "[XML]  SUPPORT : 5\n"
      "[MEM]  TOTAL : 512\n"
      "[PC\xB9\xE6]\t      : Y\n";
  EXPECT_STREQ(report.text, expected);
}

TEST(ClientReportFormat, HeadingAndLastLineBytes) {
  ClientReportValues v;
  ClientReport report;
  FormatClientReport(v, &report);
  const std::string text = report.text;
  EXPECT_EQ(text.substr(0, 11), std::string(11, '='));
  EXPECT_EQ(text.find("=CLIENT INFORMATION=========="), 10u);
  EXPECT_EQ(text.find("\n"), 11u + 18u + 10u);
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 8u);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.find("[PC\xB9\xE6]\t      : N\n"), std::string::npos);
  EXPECT_NE(text.find("CLOCK : -1\n"), std::string::npos);
}

TEST(ClientReportFormat, OverlongValuesAreCutAtTheBuffer) {
  ClientReportValues v;
  v.cpu_name = std::string(48, 'c');
  v.os_name = std::string(127, 'o');
  v.vga_name = std::string(600, 'v');  // more than the whole buffer
  ClientReport report;
  std::memset(report.text, 'Z', sizeof report.text);
  FormatClientReport(v, &report);
  EXPECT_EQ(std::strlen(report.text), kClientReportSize - 1);
}

TEST(XmlSupportProbe, BitsInOrderAndTextLines) {
  std::vector<std::string> tried, debug;
  XmlSupport xml(
      [&](const std::string& id) {
        tried.push_back(id);
        return id == "MSXML2.DOMDocument" || id == "MSXML2.DOMDocument.3.0";
      },
      [&](const std::string& line) { debug.push_back(line); });
  EXPECT_EQ(xml.Probe(), 5);
  EXPECT_EQ(tried, (std::vector<std::string>{"MSXML2.DOMDocument", "MSXML2.DOMDocument.2.6",
                                             "MSXML2.DOMDocument.3.0", "MSXML2.DOMDocument.4.0",
                                             "MSXML2.DOMDocument.5.0"}));
  EXPECT_STREQ(xml.text(), "MSXML2.DOMDocument\nMSXML2.DOMDocument.3.0\n");
  EXPECT_EQ(debug, (std::vector<std::string>{
                       "Failed to instantiate an MSXML2.DOMDocument.2.6\n",
                       "Failed to instantiate an MSXML2.DOMDocument.4.0\n",
                       "Failed to instantiate an MSXML2.DOMDocument.5.0\n"}));
  // A second probe starts afresh.
  XmlSupport all([](const std::string&) { return true; }, nullptr);
  EXPECT_EQ(all.Probe(), 31);
  EXPECT_EQ(all.Probe(), 31);
  EXPECT_EQ(std::string(all.text()).size(), std::strlen(
      "MSXML2.DOMDocument\nMSXML2.DOMDocument.2.6\nMSXML2.DOMDocument.3.0\n"
      "MSXML2.DOMDocument.4.0\nMSXML2.DOMDocument.5.0\n"));
}

// Windows has MSXML 3.0 (version-independent and 3.0 names) since XP, so
// also every Wine prefix; 2.6, 4.0 and 5.0 come and go with other software.
// The POSIX emulation has none.
TEST(XmlSupportProbe, ThisHostsComponents) {
  XmlSupport xml;
  const uint16_t mask = xml.Probe();
  const std::string text = xml.text();
  if (kOnWindows) {
    EXPECT_EQ(mask & 0x5, 0x5);
    EXPECT_EQ(text.rfind("MSXML2.DOMDocument\n", 0), 0u) << text;
    EXPECT_NE(text.find("MSXML2.DOMDocument.3.0\n"), std::string::npos) << text;
    // One line per bit, in order.
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, size_t(__builtin_popcount(mask)));
  } else {
    EXPECT_EQ(mask, 0);
    EXPECT_EQ(text, "");
  }
}

// A whole machine of fakes: a Pentium 4 (no brand string read below family
// 15 is not the case here: family 15 reads it), Windows XP Professional, an
// NT display adapter, DirectX 9, two XML components, 1015 MB and a PC-room
// program running with its window.
struct FakeMachine {
  FakeRegistry registry;
  std::map<uint32_t, CpuidRegisters> leaves;
  int64_t microseconds = 0;
  bool pc_room = true;
  std::vector<std::string> order;

  FakeMachine() {
    CpuidRegisters v;
    std::memcpy(&v.ebx, "Genu", 4);
    std::memcpy(&v.edx, "ineI", 4);
    std::memcpy(&v.ecx, "ntel", 4);
    leaves[0] = v;
    leaves[1].eax = (15 << 8) | (2 << 4);
    leaves[1].edx = 0x10;
    leaves[0x80000000u].eax = 0x80000004u;
    char brand[48] = "              Intel(R) Pentium(R) 4 CPU 2.40GHz";
    for (uint32_t i = 0; i < 3; ++i) std::memcpy(&leaves[0x80000002u + i], brand + 16 * i, 16);
    registry.SetString(Root::kLocalMachine, "SOFTWARE\\Microsoft\\DirectX", "Version",
                       "4.09.00.0904");
    const std::string key = "SYSTEM\\CurrentControlSet\\Control\\Video\\{X}\\0000";
    registry.SetString(Root::kLocalMachine, "HARDWARE\\DEVICEMAP\\VIDEO", "\\Device\\Video0",
                       "\\Registry\\Machine\\" + key);
    registry.SetString(Root::kLocalMachine, key, "Device Description", "RADEON");
    registry.SetNumber(Root::kLocalMachine, key, "HardwareInformation.MemorySize", 128u << 20);
    registry.SetString(Root::kLocalMachine, key, "HardwareInformation.ChipType",
                       "RADEON 9600 SERIES");
    registry.SetString(Root::kLocalMachine, key, "InstalledDisplayDrivers", "ati2dvag");
    registry.SetString(Root::kLocalMachine, key, "HardwareInformation.DacType", "Internal");
  }

  ClientEnvironment Environment() {
    ClientEnvironment env;
    env.cpuid = [this](uint32_t leaf, CpuidRegisters* out) {
      if (leaf == 0) order.push_back("cpu");
      *out = leaves[leaf];
      return true;
    };
    env.clock.read_time_stamp_counter = [this] { return uint64_t(microseconds * 2394); };
    env.clock.query_performance_frequency = [](int64_t* f) {
      *f = 1000000;
      return true;
    };
    env.clock.query_performance_counter = [this](int64_t* v) {
      *v = ++microseconds;
      return true;
    };
    env.version = [this](platform::WindowsVersionRecord* r) {
      if (r->size == platform::kVersionRecordExtendedSize) order.push_back("os");
      r->platform_id = 2;
      r->major = 5;
      r->minor = 1;
      r->build = 2600;
      r->product_type = 1;
      return true;
    };
    env.registry = &registry;
    env.display.screen_size = [this](int* w, int* h) {
      order.push_back("display");
      *w = 1280;
      *h = 1024;
    };
    env.display.registry = &registry;
    env.pc_room.snapshot_processes = [this](std::vector<std::string>* names) {
      order.push_back("pcroom");
      *names = {"[System Process]", pc_room ? "CLMANAGER.EXE" : "EXPLORER.EXE"};
      return true;
    };
    env.pc_room.find_window = [](const std::string& title) { return title == "CLManager"; };
    env.pc_room.file_exists = [](const std::string&) { return false; };
    env.memory_status = [this](platform::MemoryStatus* s) {
      order.push_back("memory");
      s->total_physical = 1015ull << 20;
      return true;
    };
    env.create_by_progid = [this](const std::string& id) {
      if (id == "MSXML2.DOMDocument") order.push_back("xml");
      return id == "MSXML2.DOMDocument" || id == "MSXML2.DOMDocument.3.0";
    };
    return env;
  }
};

TEST(ComposeClientReportTest, WholeMachineByteForByte) {
  FakeMachine machine;
  ClientReport report;
  EXPECT_EQ(ComposeClientReport(&report, machine.Environment()), 1);
  const char expected[] =
      "===========CLIENT INFORMATION==========\n"
      "[CPU]  NAME : Intel(R) Pentium(R) 4 CPU 2.40GHz,  CLOCK : 2393\n"
      "[OS]   NAME : Windows XP Professional, PLATFORM : 2, VERSION : 18\n"
      "[VGA]  NAME : RADEON 9600 SERIES,  MEMORY : 128, SCREEN : 1280 X 1024\n"
      "[DX]   VER : 9\n"
      "[XML]  SUPPORT : 5\n"
      "[MEM]  TOTAL : 1008\n"
      "[PC\xB9\xE6]\t      : Y\n";
  EXPECT_STREQ(report.text, expected);
  // The probes ran in the report's order.
  EXPECT_EQ(machine.order, (std::vector<std::string>{"cpu", "os", "display", "pcroom", "memory",
                                                     "xml"}));
  machine.pc_room = false;
  ComposeClientReport(&report, machine.Environment());
  EXPECT_NE(std::string(report.text).find("[PC\xB9\xE6]\t      : N\n"), std::string::npos);
}

// The report of the machine the test runs on. Windows answers every probe
// (its version, the DirectX and display keys, MSXML); the POSIX emulation
// answers what Linux knows (processor, memory, screen) and "Unknown" or 0
// for the rest.
TEST(ComposeClientReportTest, ThisHostIsReportedHonestly) {
  ClientReport report;
  EXPECT_EQ(ComposeClientReport(&report), 1);
  const std::string text = report.text;
  std::printf("%s", text.c_str());
  EXPECT_EQ(text.rfind("===========CLIENT INFORMATION==========\n[CPU]  NAME : ", 0), 0u);
  EXPECT_EQ(text.find("[MEM]  TOTAL : 0\n"), std::string::npos);  // memory is real
  EXPECT_EQ(text.back(), '\n');
  if (!kOnWindows) {
    EXPECT_NE(text.find("[OS]   NAME : Unknown, PLATFORM : 0, VERSION : 0\n"), std::string::npos);
    EXPECT_NE(text.find("[DX]   VER : 0\n[XML]  SUPPORT : 0\n"), std::string::npos);
    return;
  }
  // The true version (not what a manifest makes the system claim) on the
  // NT platform. The edition table ends with Windows 2003: a later system
  // is NT by its platform code, with no edition name or code.
  platform::WindowsVersionRecord version;
  version.size = platform::kVersionRecordExtendedSize;
  ASSERT_TRUE(platform::GetWindowsVersion(&version));
  EXPECT_EQ(version.platform_id, 2u);
  if (version.major >= 6) {
    EXPECT_NE(text.find("[OS]   NAME : Unknown, PLATFORM : 2, VERSION : 0\n"), std::string::npos);
  } else {
    EXPECT_NE(text.find("[OS]   NAME : Windows "), std::string::npos);
    EXPECT_NE(text.find(", PLATFORM : 2, VERSION : "), std::string::npos);
  }
  // DirectX 9 is the last to write its version key, which later systems
  // keep: "4.09.00.0904".
  EXPECT_NE(text.find("[DX]   VER : 9\n"), std::string::npos);
  // MSXML 3.0 under both of its names: bits 0 and 2 at least.
  const size_t xml = text.find("[XML]  SUPPORT : ");
  ASSERT_NE(xml, std::string::npos);
  const int support = std::atoi(text.c_str() + xml + 17);
  EXPECT_EQ(support & 0x5, 0x5) << support;
  // The screen the window system reports.
  int width = 0, height = 0;
  platform::GetScreenSize(&width, &height);
  EXPECT_GT(width, 0);
  EXPECT_NE(text.find("SCREEN : " + std::to_string(width) + " X " + std::to_string(height) + "\n"),
            std::string::npos);
}

}  // namespace

namespace {

// The production readers reach the platform registry. On Windows the key
// is the machine's own: its value comes back afterwards.
TEST(ComposeClientReportTest, SystemRegistryFeedsTheProbes) {
  const std::string key = "SOFTWARE\\Microsoft\\DirectX";
  std::string before;
  const bool had = platform::RegistryGetString(Root::kLocalMachine, key, "Version", &before);
  EXPECT_EQ(had, kOnWindows);
  ASSERT_TRUE(platform::RegistrySetString(Root::kLocalMachine, key, "Version", "4.08.01.0881"));
  ClientReport report;
  ComposeClientReport(&report);
  EXPECT_NE(std::string(report.text).find("[DX]   VER : 8\n"), std::string::npos);
  if (had) EXPECT_TRUE(platform::RegistrySetString(Root::kLocalMachine, key, "Version", before));
  else EXPECT_TRUE(platform::RegistryDeleteTree(Root::kLocalMachine, key));
}

}  // namespace

}  // namespace kivro
