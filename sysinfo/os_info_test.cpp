#include "sysinfo/os_info.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/testing/system_kind.h"
#include "sysinfo/directx_version.h"
#include "sysinfo/fake_registry.h"
#include "sysinfo/memory_info.h"

namespace kivro {

namespace {

using Root = platform::RegistryRoot;

struct Version {
  uint32_t platform_id = 2, major = 5, minor = 1, build = 2600;
  uint8_t product_type = 1;
  uint16_t suite = 0;
  const char* service_pack = "Service Pack 2";
  bool extended = true;  // the system fills the extended record
  bool readable = true;
};

Zelmora::VersionQuery QueryOf(const Version& v) {
  return [v](platform::WindowsVersionRecord* r) {
    if (!v.readable) return false;
    if (r->size == platform::kVersionRecordExtendedSize && !v.extended) return false;
    r->platform_id = v.platform_id;
    r->major = v.major;
    r->minor = v.minor;
    r->build = v.build;
    std::snprintf(r->service_pack, sizeof r->service_pack, "%s", v.service_pack);
    if (r->size == platform::kVersionRecordExtendedSize) {
      r->product_type = v.product_type;
      r->suite_mask = v.suite;
    }
    return true;
  };
}

int CodeOf(const Version& v, const RegistryReader& registry = FakeRegistry()) {
  return Zelmora::OSInfo(QueryOf(v), registry).edition_code();
}

Version Nt(uint32_t major, uint32_t minor, uint8_t product_type, uint16_t suite = 0) {
  Version v;
  v.major = major;
  v.minor = minor;
  v.product_type = product_type;
  v.suite = suite;
  return v;
}

TEST(OSInfoEdition, WindowsXpHome) {
  FakeRegistry registry;
  Zelmora::OSInfo os(QueryOf(Nt(5, 1, 1, 0x0200)), registry);
  EXPECT_EQ(os.edition_code(), 17);
  EXPECT_STREQ(os.edition_name(), "Windows XP Home");
  EXPECT_EQ(os.platform_code(), 2);
  EXPECT_STREQ(os.service_pack(), "Service Pack 2 (Build 2600)\n");
}

TEST(OSInfoEdition, Workstations) {
  EXPECT_EQ(CodeOf(Nt(5, 1, 1)), 18);          // XP Professional
  EXPECT_EQ(CodeOf(Nt(5, 0, 1)), 12);          // 2000 Professional
  EXPECT_EQ(CodeOf(Nt(5, 0, 1, 0x0200)), 11);  // personal bit, minor 0: unchanged
  EXPECT_EQ(CodeOf(Nt(4, 0, 1)), 8);           // NT 4.0 Workstation
  EXPECT_EQ(CodeOf(Nt(5, 2, 1)), 19);          // no workstation rule for 5.2
  // Later systems are not in the table: unknown rather than an old name.
  Zelmora::OSInfo w8(QueryOf(Nt(6, 2, 1)), FakeRegistry());
  EXPECT_EQ(w8.edition_code(), 0);
  EXPECT_STREQ(w8.edition_name(), "Unknown");
  EXPECT_EQ(CodeOf(Nt(6, 1, 1)), 0);
  EXPECT_EQ(CodeOf(Nt(6, 1, 1, 0x0200)), 0);
}

TEST(OSInfoEdition, Servers2003) {
  EXPECT_EQ(CodeOf(Nt(5, 2, 3)), 19);
  EXPECT_EQ(CodeOf(Nt(5, 2, 3, 0x0080)), 21);
  EXPECT_EQ(CodeOf(Nt(5, 2, 3, 0x0082)), 21);  // datacenter wins
  EXPECT_EQ(CodeOf(Nt(5, 2, 3, 0x0002)), 20);
  EXPECT_EQ(CodeOf(Nt(5, 2, 3, 0x0400)), 22);  // blade alone
  EXPECT_EQ(CodeOf(Nt(5, 2, 3, 0x0402)), 20);  // blade and enterprise
  EXPECT_EQ(CodeOf(Nt(5, 2, 3, 0x0410)), 19);  // blade with another bit
}

TEST(OSInfoEdition, Servers2000AndOthers) {
  EXPECT_EQ(CodeOf(Nt(5, 0, 3)), 13);
  EXPECT_EQ(CodeOf(Nt(5, 0, 3, 0x0002)), 15);
  EXPECT_EQ(CodeOf(Nt(5, 0, 3, 0x0082)), 14);
  EXPECT_EQ(CodeOf(Nt(4, 0, 3)), 9);
  EXPECT_EQ(CodeOf(Nt(4, 0, 3, 0x0002)), 10);
  EXPECT_EQ(CodeOf(Nt(5, 1, 3)), 9);
  EXPECT_EQ(CodeOf(Nt(6, 0, 3, 0x0002)), 0);  // after 2003: unknown
  EXPECT_EQ(CodeOf(Nt(5, 2, 2)), 19);         // a domain controller changes nothing
  EXPECT_EQ(CodeOf(Nt(3, 51, 2)), 6);
}

TEST(OSInfoEdition, Windows9xFamily) {
  Version v;
  v.platform_id = 1;
  v.major = 4;
  v.minor = 0;
  v.service_pack = " A";
  EXPECT_EQ(CodeOf(v), 1);
  v.service_pack = " B";
  EXPECT_EQ(CodeOf(v), 2);
  v.service_pack = " C";
  EXPECT_EQ(CodeOf(v), 2);
  v.minor = 10;
  v.service_pack = "";
  EXPECT_EQ(CodeOf(v), 3);
  v.service_pack = " A ";
  Zelmora::OSInfo se(QueryOf(v), FakeRegistry());
  EXPECT_EQ(se.edition_code(), 4);
  EXPECT_STREQ(se.edition_name(), "Windows 98 SE");
  EXPECT_EQ(se.platform_code(), 1);
  EXPECT_STREQ(se.service_pack(), "");  // none for this family
  v.minor = 90;
  EXPECT_EQ(CodeOf(v), 5);
  v.major = 5;
  EXPECT_EQ(CodeOf(v), 0);
}

TEST(OSInfoEdition, Win32sHasACodeButNoName) {
  Version v;
  v.platform_id = 0;
  Zelmora::OSInfo os(QueryOf(v), FakeRegistry());
  EXPECT_EQ(os.edition_code(), 23);
  EXPECT_STREQ(os.edition_name(), "Unknown");
  EXPECT_EQ(os.platform_code(), 3);
}

TEST(OSInfoEdition, UnreadableVersionIsUnknownOnNoPlatform) {
  Version v;
  v.readable = false;
  Zelmora::OSInfo os(QueryOf(v), FakeRegistry());
  EXPECT_EQ(os.edition_code(), 0);
  EXPECT_STREQ(os.edition_name(), "Unknown");
  EXPECT_EQ(os.platform_code(), 0);  // not "Win32s" from an empty record
  EXPECT_EQ(os.major(), 0u);
  // This host: Windows answers its true version on the NT platform; the
  // POSIX emulation has no Windows version at all.
  Zelmora::OSInfo here;
  if (platform::testing_support::kOnWindows) {
    EXPECT_EQ(here.platform_code(), 2);
    EXPECT_GE(here.major(), 5u);
    EXPECT_GT(here.build(), 0u);
  } else {
    EXPECT_EQ(here.edition_code(), 0);
    EXPECT_EQ(here.platform_code(), 0);
    EXPECT_STREQ(here.edition_name(), "Unknown");
  }
}

TEST(OSInfoEdition, BasicRecordFallsBackToTheProductTypeValue) {
  const char* key = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
  auto with_type = [&](const char* type) {
    auto r = std::make_unique<FakeRegistry>();
    r->SetString(Root::kLocalMachine, key, "ProductType", type);
    return r;
  };
  auto basic = [](uint32_t major, uint32_t minor) {
    Version v = Nt(major, minor, 1);
    v.extended = false;
    return v;
  };
  EXPECT_EQ(CodeOf(basic(4, 0), *with_type("WinNT")), 8);
  EXPECT_EQ(CodeOf(basic(5, 0), *with_type("WINNT")), 11);
  EXPECT_EQ(CodeOf(basic(5, 2), *with_type("LanmanNT")), 19);
  EXPECT_EQ(CodeOf(basic(5, 0), *with_type("LANMANNT")), 13);
  EXPECT_EQ(CodeOf(basic(4, 0), *with_type("LANMANNT")), 9);
  EXPECT_EQ(CodeOf(basic(5, 2), *with_type("ServerNT")), 20);
  EXPECT_EQ(CodeOf(basic(5, 0), *with_type("SERVERNT")), 15);
  EXPECT_EQ(CodeOf(basic(3, 51), *with_type("SERVERNT")), 10);
  EXPECT_EQ(CodeOf(basic(5, 1), *with_type("SERVERNT")), 16);
  // Unreadable: the code from the version stays, and no service-pack text.
  Zelmora::OSInfo missing(QueryOf(basic(4, 0)), FakeRegistry());
  EXPECT_EQ(missing.edition_code(), 6);
  EXPECT_STREQ(missing.service_pack(), "");
  std::string too_long(80, 'W');  // does not fit 80 bytes with its terminator
  EXPECT_EQ(CodeOf(basic(4, 0), *with_type(too_long.c_str())), 6);
}

TEST(OSInfoServicePack, Nt4ServicePack6aNeedsTheHotfixKey) {
  Version v = Nt(4, 0, 1);
  v.build = 1381;
  v.service_pack = "Service Pack 6";
  FakeRegistry registry;
  EXPECT_STREQ(Zelmora::OSInfo(QueryOf(v), registry).service_pack(),
               "Service Pack 6 (Build 1381)\n");
  registry.AddKey(Root::kLocalMachine,
                  "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009");
  EXPECT_STREQ(Zelmora::OSInfo(QueryOf(v), registry).service_pack(),
               "Service Pack 6a (Build 1381)\n");
  v.service_pack = "service pack 6";
  EXPECT_STREQ(Zelmora::OSInfo(QueryOf(v), registry).service_pack(),
               "Service Pack 6a (Build 1381)\n");
  v.major = 5;
  EXPECT_STREQ(Zelmora::OSInfo(QueryOf(v), registry).service_pack(),
               "service pack 6 (Build 1381)\n");
}

TEST(OSInfoServicePack, BuildIsTheLow16BitsAndLongTextsAreCut) {
  Version v = Nt(5, 1, 1);
  v.build = 0x0A280A28;  // 9x-style high word
  v.service_pack = "";
  EXPECT_STREQ(Zelmora::OSInfo(QueryOf(v), FakeRegistry()).service_pack(), " (Build 2600)\n");
  std::string long_text(127, 'S');
  v.service_pack = long_text.c_str();
  Zelmora::OSInfo os(QueryOf(v), FakeRegistry());
  EXPECT_EQ(std::strlen(os.service_pack()), 127u);
}

TEST(DirectXVersionTest, VersionTextRules) {
  DirectXVersion dx(FakeRegistry{});
  EXPECT_EQ(dx.major(), 0);  // missing key
  EXPECT_TRUE(dx.Parse("4.09.00.0904"));
  EXPECT_EQ(dx.major(), 9);
  EXPECT_EQ(dx.minor(), 0);
  EXPECT_STREQ(dx.revision(), "c");
  EXPECT_TRUE(dx.Parse("4.08.01.0881"));  // 81: letter g
  EXPECT_EQ(dx.major(), 8);
  EXPECT_EQ(dx.minor(), 1);
  EXPECT_STREQ(dx.revision(), "g");
  EXPECT_TRUE(dx.Parse("4.07.00.0700"));
  EXPECT_STREQ(dx.revision(), "");
  DirectXVersion other(FakeRegistry{});
  EXPECT_FALSE(other.Parse("5.03.00.0001"));
  EXPECT_FALSE(other.Parse("4.09"));
  EXPECT_EQ(other.major(), 0);
}

TEST(DirectXVersionTest, ReadsTheRegistryValue) {
  FakeRegistry registry;
  registry.SetString(Root::kLocalMachine, "SOFTWARE\\Microsoft\\DirectX", "Version",
                     "4.09.00.0904");
  EXPECT_EQ(DirectXVersion(registry).major(), 9);
  // This host: Windows keeps DirectX 9's key (later versions write none);
  // the POSIX emulation has nothing installed.
  EXPECT_EQ(DirectXVersion().major(), platform::testing_support::kOnWindows ? 9 : 0);
}

TEST(MemoryInfoTest, TotalRoundsToSixteenMegabytes) {
  auto total_of = [](uint64_t megabytes, uint64_t extra_bytes = 0) {
    return MemoryInfo([=](platform::MemoryStatus* s) {
             s->total_physical = (megabytes << 20) + extra_bytes;
             s->available_physical = 100u << 20;
             return true;
           })
        .total();
  };
  EXPECT_EQ(total_of(511), 512);
  EXPECT_EQ(total_of(1015), 1008);
  EXPECT_EQ(total_of(1016), 1024);  // a half goes up
  EXPECT_EQ(total_of(1015, (1u << 20) - 1), 1008);  // partial megabytes drop
  EXPECT_EQ(total_of(65536), 65536);
  EXPECT_EQ(MemoryInfo([](platform::MemoryStatus*) { return false; }).total(), 0);
  MemoryInfo here;
  EXPECT_GT(here.total(), 0);
  EXPECT_EQ(here.total() % 16, 0);
}

}  // namespace

}  // namespace kivro
