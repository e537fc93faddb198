#include "platform/com_registrar.h"

#include <gtest/gtest.h>

#include "platform/testing/temp_root.h"
#include "platform/registry.h"

namespace platform {
namespace {

const RegistryRoot kCR = RegistryRoot::kClassesRoot;

const char kScript[] =
    "HKCR\n"
    "{\n"
    "\tNoRemove Kept\n"
    "\t{\n"
    "\t\tForceRemove {3610C74F-5D10-4690-9556-14A6563095AE} = s 'Class'\n"
    "\t\t{\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\n"
    "\t\t\t{\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\n"
    "\t\t\t}\n"
    "\t\t\t'Quoted Name' = s 'it''s 100%%'\n"
    "\t\t\tval AppID = s '%APPID%'\n"
    "\t\t\tval Count = d '0x10'\n"
    "\t\t\tForceRemove Programmable\n"
    "\t\t}\n"
    "\t\tShared = s 'listed'\n"
    "\t}\n"
    "}\n";

// The keys the scripts write. On Windows the registry is the machine's own
// (the private test root holds files only): a test removes them before and
// after it.
void RemoveTestKeys() {
  RegistryDeleteTree(RegistryRoot::kClassesRoot, "Kept");
  RegistryDeleteTree(RegistryRoot::kClassesRoot, "A");
}

class RegistrarTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    RemoveTestKeys();
  }
  void TearDown() override {
    RemoveTestKeys();
    TempRootTest::TearDown();
  }
  HRESULT Run(const char* script, bool do_register) {
    return RunRegistrarScript(script,
                              {{"MODULE", DoubleSingleQuotes("C:\\it's\\mod.dll")},
                               {"APPID", "{APP}"}},
                              do_register);
  }
  std::string Default(const std::string& key) {
    std::string v = "<missing>";
    RegistryGetString(kCR, key, "", &v);
    return v;
  }
  const std::string cls_ = "Kept\\{3610C74F-5D10-4690-9556-14A6563095AE}";
};

TEST_F(RegistrarTest, RegisterWritesKeysValuesAndReplacements) {
  ASSERT_EQ(Run(kScript, true), S_OK);
  EXPECT_EQ(Default(cls_), "Class");
  EXPECT_EQ(Default(cls_ + "\\InprocServer32"), "C:\\it's\\mod.dll");  // quote doubled, then read back
  std::string v;
  ASSERT_TRUE(RegistryGetString(kCR, cls_ + "\\InprocServer32", "ThreadingModel", &v));
  EXPECT_EQ(v, "Apartment");
  EXPECT_EQ(Default(cls_ + "\\Quoted Name"), "it's 100%");
  ASSERT_TRUE(RegistryGetString(kCR, cls_, "AppID", &v));
  EXPECT_EQ(v, "{APP}");
  uint32_t n = 0;
  ASSERT_TRUE(RegistryGetNumber(kCR, cls_, "Count", &n));
  EXPECT_EQ(n, 16u);
  EXPECT_TRUE(RegistryKeyExists(kCR, cls_ + "\\Programmable"));
  EXPECT_EQ(RegistryValueNames(kCR, cls_ + "\\Programmable").size(), 0u);
}

TEST_F(RegistrarTest, ForceRemoveClearsAnOldTreeBeforeWriting) {
  ASSERT_TRUE(RegistrySetString(kCR, cls_ + "\\Stale\\Deep", "", "old"));
  ASSERT_TRUE(RegistrySetString(kCR, cls_, "OldValue", "old"));
  ASSERT_TRUE(RegistrySetString(kCR, "Kept\\Other", "", "untouched"));
  ASSERT_EQ(Run(kScript, true), S_OK);
  EXPECT_FALSE(RegistryKeyExists(kCR, cls_ + "\\Stale"));
  std::string v;
  EXPECT_FALSE(RegistryGetString(kCR, cls_, "OldValue", &v));
  EXPECT_EQ(Default("Kept\\Other"), "untouched");  // NoRemove is no ForceRemove
}

TEST_F(RegistrarTest, RemovalDeletesListedKeysAndValuesButKeepsNoRemoveKeys) {
  ASSERT_EQ(Run(kScript, true), S_OK);
  ASSERT_EQ(Run(kScript, false), S_OK);
  EXPECT_FALSE(RegistryKeyExists(kCR, cls_));
  EXPECT_FALSE(RegistryKeyExists(kCR, "Kept\\Shared"));
  EXPECT_TRUE(RegistryKeyExists(kCR, "Kept"));  // NoRemove
}

TEST_F(RegistrarTest, RemovalKeepsKeysThatStillHoldUnlistedSubKeys) {
  ASSERT_EQ(Run(kScript, true), S_OK);
  ASSERT_TRUE(RegistrySetString(kCR, cls_ + "\\InprocServer32\\Foreign", "", "someone else's"));
  ASSERT_EQ(Run(kScript, false), S_OK);
  // The listed value went, the key with a foreign sub-key stayed, and so did its parents.
  std::string v;
  EXPECT_FALSE(RegistryGetString(kCR, cls_ + "\\InprocServer32", "ThreadingModel", &v));
  EXPECT_EQ(Default(cls_ + "\\InprocServer32\\Foreign"), "someone else's");
  EXPECT_TRUE(RegistryKeyExists(kCR, cls_));
  EXPECT_FALSE(RegistryKeyExists(kCR, cls_ + "\\Programmable"));
  EXPECT_FALSE(RegistryGetString(kCR, cls_, "AppID", &v));
}

TEST_F(RegistrarTest, RemovalOfWhatIsNotThereSucceeds) {
  EXPECT_EQ(Run(kScript, false), S_OK);
  EXPECT_FALSE(RegistryKeyExists(kCR, "Kept"));  // nothing is created while removing
}

TEST_F(RegistrarTest, MalformedScriptsWriteNothing) {
  const char* bad[] = {
      "HKCR\n{\n\tA = s 'unterminated\n}\n",
      "HKCR\n{\n\tA = s '%UNKNOWN%'\n}\n",
      "HKCR\n{\n\tA\n\t{\n\t\tB\n}\n",  // a block never closed
      "HKXX\n{\n\tA\n}\n",
      "HKCR\n{\n\t'A\\B' = s 'x'\n}\n",  // a name reaching into another key
      "HKCR\n{\n\tA = x 'what'\n}\n",
      "HKCR\n{\n\tA = d 'ten'\n}\n",
      "HKCR\n{\n\tval = s 'x'\n}\n",
      "HKCR\n{\n\tA = s 'ok'\n}\n%",
  };
  for (const char* script : bad) {
    EXPECT_EQ(Run(script, true), DISP_E_EXCEPTION) << script;
    EXPECT_FALSE(RegistryKeyExists(kCR, "A")) << script;
  }
}

TEST(DoubleSingleQuotesTest, DoublesEveryQuote) {
  EXPECT_EQ(DoubleSingleQuotes("a'b''c"), "a''b''''c");
  EXPECT_EQ(DoubleSingleQuotes(""), "");
}

}  // namespace
}  // namespace platform
