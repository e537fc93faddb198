#include "platform/com_typelib.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/tests/com_test_library.h"
#include "platform/testing/temp_root.h"
#include "platform/registry.h"

namespace platform {
namespace {

const RegistryRoot kCR = RegistryRoot::kClassesRoot;

std::string Default(const std::string& key) {
  std::string v = "<missing>";
  RegistryGetString(kCR, key, "", &v);
  return v;
}

TEST(TypeLibraryParseTest, ReadsLibraryInterfaceMembersAndCoclass) {
  TypeLibraryDescription lib;
  std::string error;
  ASSERT_TRUE(ParseTypeLibrary(kTestTypeLibrary, &lib, &error)) << error;
  EXPECT_EQ(lib.name, "TestLib");
  EXPECT_EQ(lib.major, 1);
  EXPECT_EQ(lib.minor, 0);
  EXPECT_EQ(lib.lcid, 0x409u);
  EXPECT_EQ(lib.help, Utf8ToCp949("Test 1.0 형식 라이브러리"));  // held in code page 949
  ASSERT_EQ(lib.interfaces.size(), 1u);
  const auto& i = lib.interfaces[0];
  EXPECT_TRUE(i.dual);
  ASSERT_EQ(i.members.size(), 4u);
  EXPECT_EQ(i.members[1].name, "Join");
  EXPECT_EQ(i.members[1].InCount(), 2u);
  EXPECT_TRUE(i.members[1].HasRetval());
  EXPECT_EQ(i.members[3].kind, MemberKind::kPropertyPut);
  ASSERT_EQ(lib.coclasses.size(), 1u);
  EXPECT_EQ(lib.coclasses[0].default_interface, "ITest");
}

TEST(TypeLibraryParseTest, RefusesMalformedLinesNamingThem) {
  const char* bad[] = {
      "",                                                        // no library at all
      "method Ping 1 \"x\"\n",                                    // member before library
      "library L {11111111-2222-3333-4444-555555555555} 1 409 \"h\"\n",  // version without dot
      "library L {11111111-2222-3333-4444-555555555555} 1.0 409 \"h\nmethod A 1 \"x\"\n",
      "library L {11111111-2222-3333-4444-555555555555} 1.0 409 \"h\"\nmethod A 1 \"x\"\n",  // no interface
      "library L {11111111-2222-3333-4444-555555555555} 1.0 409 \"h\"\n"
      "interface I {11111111-2222-3333-4444-555555555555} \"h\"\npropget P 1 \"x\" in:a\n",
      "library L {11111111-2222-3333-4444-555555555555} 1.0 409 \"h\"\n"
      "interface I {11111111-2222-3333-4444-555555555555} \"h\"\nmethod M 99999999999 \"x\"\n",
      "library L {11111111-2222-3333-4444-555555555555} 1.0 409 \"h\"\n"
      "interface I {11111111-2222-3333-4444-555555555555} \"h\"\nmethod M 1 \"x\" out:a\n",
  };
  for (const char* text : bad) {
    TypeLibraryDescription lib;
    std::string error;
    EXPECT_FALSE(ParseTypeLibrary(text, &lib, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

class TypeLibraryRegistrationTest : public TempRootTest {
 protected:
  // On Windows the registry is the machine's own: the keys go before and
  // after each test.
  void SetUp() override {
    TempRootTest::SetUp();
    RemoveKeys();
    ASSERT_TRUE(ParseTypeLibrary(kTestTypeLibrary, &lib_, nullptr));
  }
  void TearDown() override {
    RemoveKeys();
    TempRootTest::TearDown();
  }
  void RemoveKeys() {
    RegistryDeleteTree(kCR, libkey_);
    RegistryDeleteTree(kCR, ifkey_);
    RegistryDeleteTree(kCR, "Interface\\{CCCCCCCC-2222-3333-4444-555555555555}");
  }
  TypeLibraryDescription lib_;
  const std::string libkey_ = "TypeLib\\{11111111-2222-3333-4444-555555555555}";
  const std::string ifkey_ = "Interface\\{AAAAAAAA-2222-3333-4444-555555555555}";
  const char* platform_ = sizeof(void*) == 8 ? "win64" : "win32";
};

TEST_F(TypeLibraryRegistrationTest, WritesTheUsualKeys) {
  ASSERT_EQ(RegisterTypeLibrary(lib_, "C:\\Mod\\a.dll", "C:\\Mod"), S_OK);
  EXPECT_EQ(Default(libkey_ + "\\1.0"), lib_.help);
  EXPECT_EQ(Default(libkey_ + "\\1.0\\FLAGS"), "0");
  EXPECT_EQ(Default(libkey_ + "\\1.0\\409\\" + platform_), "C:\\Mod\\a.dll");
  EXPECT_EQ(Default(libkey_ + "\\1.0\\HELPDIR"), "C:\\Mod");
  EXPECT_EQ(Default(ifkey_), "ITest");
  EXPECT_EQ(Default(ifkey_ + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Default(ifkey_ + "\\ProxyStubClsid"), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Default(ifkey_ + "\\TypeLib"), "{11111111-2222-3333-4444-555555555555}");
  std::string version;
  EXPECT_TRUE(RegistryGetString(kCR, ifkey_ + "\\TypeLib", "Version", &version));
  EXPECT_EQ(version, "1.0");
}

TEST_F(TypeLibraryRegistrationTest, UnregisterRemovesWhatItWroteAndLeavesOthers) {
  ASSERT_EQ(RegisterTypeLibrary(lib_, "C:\\Mod\\a.dll", "C:\\Mod"), S_OK);
  ASSERT_TRUE(RegistrySetString(kCR, "Interface\\{CCCCCCCC-2222-3333-4444-555555555555}\\TypeLib",
                                "", "{99999999-2222-3333-4444-555555555555}"));
  ASSERT_EQ(UnregisterTypeLibrary(lib_.libid, 1, 0, 0x409, lib_.syskind), S_OK);
  EXPECT_FALSE(RegistryKeyExists(kCR, libkey_));
  EXPECT_FALSE(RegistryKeyExists(kCR, ifkey_));
  EXPECT_TRUE(RegistryKeyExists(kCR, "Interface\\{CCCCCCCC-2222-3333-4444-555555555555}"));
  // A second time there is nothing to unregister.
  EXPECT_EQ(UnregisterTypeLibrary(lib_.libid, 1, 0, 0x409, lib_.syskind), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(TypeLibraryRegistrationTest, AnotherLocaleKeepsTheVersionKey) {
  ASSERT_EQ(RegisterTypeLibrary(lib_, "C:\\Mod\\a.dll", "C:\\Mod"), S_OK);
  TypeLibraryDescription korean = lib_;
  korean.lcid = 0x412;
  ASSERT_EQ(RegisterTypeLibrary(korean, "C:\\Mod\\a.dll", "C:\\Mod"), S_OK);
  ASSERT_EQ(UnregisterTypeLibrary(lib_.libid, 1, 0, 0x409, lib_.syskind), S_OK);
  EXPECT_FALSE(RegistryKeyExists(kCR, libkey_ + "\\1.0\\409"));
  EXPECT_TRUE(RegistryKeyExists(kCR, libkey_ + "\\1.0\\412"));
  EXPECT_TRUE(RegistryKeyExists(kCR, libkey_ + "\\1.0\\FLAGS"));
}

TEST_F(TypeLibraryRegistrationTest, ModuleWithoutLibraryFallsBackToTheTlbBesideIt) {
  std::string folder = RootFolder();
  TypeLibraryDescription lib;
  EXPECT_EQ(LoadTypeLibraryFromModule(folder + "\\nomodule.dll", &lib), TYPE_E_CANTLOADLIBRARY);
  ASSERT_TRUE(WriteWholeFile(folder + "\\nomodule.tlb", kTestTypeLibrary, sizeof kTestTypeLibrary - 1));
  ASSERT_EQ(LoadTypeLibraryFromModule(folder + "\\nomodule.dll", &lib), S_OK);
  EXPECT_EQ(lib.name, "TestLib");
  ASSERT_TRUE(WriteWholeFile(folder + "\\nomodule.tlb", "garbage", 7));
  EXPECT_EQ(LoadTypeLibraryFromModule(folder + "\\nomodule.dll", &lib), TYPE_E_CANTLOADLIBRARY);
}

}  // namespace
}  // namespace platform
