#include "platform/posix/registry_store.h"

#include <gtest/gtest.h>

namespace platform::registry_detail {
namespace {

TEST(RegistryStoreTest, SerializeThenParseGivesTheSameKeysAndValues) {
  Store store;
  Key* k = store.CreateKey("HKEY_CURRENT_USER\\A\\B");
  k->values.push_back(Value{"s", false, "x\"y%z\n", 0});
  k->values.push_back(Value{"", true, "", 42});
  Store back = Store::Parse(store.Serialize());
  ASSERT_NE(back.FindKey("hkey_current_user\\a"), nullptr);  // parent created too
  Key* b = back.FindKey("HKEY_CURRENT_USER\\A\\B");
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->values.size(), 2u);
  EXPECT_EQ(b->Find("S")->text, "x\"y%z\n");
  EXPECT_TRUE(b->Find("")->is_number);
  EXPECT_EQ(b->Find("")->number, 42u);
}

TEST(RegistryStoreTest, DamagedLinesAreSkippedAndTheRestKept) {
  std::string text =
      "KIVRO-REGISTRY 1\n"
      "key \"HKEY_USERS\\Good\"\n"
      "str \"ok\" \"fine\"\n"
      "str \"unterminated\" \"abc\n"
      "str \"badescape\" \"%G1\"\n"
      "num \"big\" 99999999999\n"
      "num \"nan\" x\n"
      "str \"ok\" \"duplicate ignored\"\n"
      "garbage line\n"
      "key \"\"\n"
      "str \"orphan\" \"no key\"\n"
      "key \"HKEY_USERS\\Next\"\n"
      "num \"n\" 5";  // no final newline
  Store store = Store::Parse(text);
  Key* good = store.FindKey("HKEY_USERS\\Good");
  ASSERT_NE(good, nullptr);
  ASSERT_EQ(good->values.size(), 1u);
  EXPECT_EQ(good->values[0].text, "fine");
  Key* next = store.FindKey("HKEY_USERS\\Next");
  ASSERT_NE(next, nullptr);
  ASSERT_EQ(next->values.size(), 1u);
  EXPECT_EQ(next->values[0].number, 5u);
}

TEST(RegistryStoreTest, EraseTreeKeepsKeysThatOnlyShareAPrefix) {
  Store store;
  store.CreateKey("R\\Ab\\C");
  store.CreateKey("R\\Abc");
  store.CreateKey("R\\Ab c");
  store.EraseTree("R\\AB");
  EXPECT_EQ(store.FindKey("R\\Ab"), nullptr);
  EXPECT_EQ(store.FindKey("R\\Ab\\C"), nullptr);
  EXPECT_NE(store.FindKey("R\\Abc"), nullptr);
  EXPECT_NE(store.FindKey("R\\Ab c"), nullptr);
  EXPECT_FALSE(store.HasSubKeys("R\\Abc"));
  EXPECT_TRUE(store.HasSubKeys("R"));
}

}  // namespace
}  // namespace platform::registry_detail
