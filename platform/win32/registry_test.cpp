// The real registry under a key private to the test run (removed after each
// test): values round-trip in code page 949, kinds stay apart, deletes
// refuse or reach what Windows says they do.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/error.h"
#include "platform/thread.h"

namespace platform {
namespace {

using R = RegistryRoot;

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = "Software\\KivroTest-" + std::to_string(CurrentThreadId()); }
  void TearDown() override { RegistryDeleteTree(R::kCurrentUser, base_); }
  std::string Key(const std::string& sub) const { return base_ + "\\" + sub; }
  std::string base_;
};

TEST_F(Win32RegistryTest, ValuesRoundTripAndKindsStayApart) {
  const std::string korean = "\xB9\xD9\xB5\xCF";  // code page 949
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, Key("Game\\" + korean), "Path", "C:\\" + korean));
  ASSERT_TRUE(RegistrySetNumber(R::kCurrentUser, Key("Game\\" + korean), "Version", 42));
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, Key("Game\\" + korean), "", "default"));
  std::string text;
  uint32_t number = 0;
  ASSERT_TRUE(RegistryGetString(R::kCurrentUser, Key("game\\" + korean), "PATH", &text));
  EXPECT_EQ(text, "C:\\" + korean);
  ASSERT_TRUE(RegistryGetNumber(R::kCurrentUser, Key("Game\\" + korean), "Version", &number));
  EXPECT_EQ(number, 42u);
  ASSERT_TRUE(RegistryGetString(R::kCurrentUser, Key("Game\\" + korean), "", &text));
  EXPECT_EQ(text, "default");
  EXPECT_FALSE(RegistryGetNumber(R::kCurrentUser, Key("Game\\" + korean), "Path", &number));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  EXPECT_FALSE(RegistryGetString(R::kCurrentUser, Key("Game\\" + korean), "Version", &text));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  std::vector<std::string> names = RegistryValueNames(R::kCurrentUser, Key("Game\\" + korean));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"", "Path", "Version"}));
  ASSERT_TRUE(RegistryDeleteValue(R::kCurrentUser, Key("Game\\" + korean), "Path"));
  EXPECT_FALSE(RegistryGetString(R::kCurrentUser, Key("Game\\" + korean), "Path", &text));
  EXPECT_TRUE(RegistryGetNumber(R::kCurrentUser, Key("Game\\" + korean), "Version", &number));
}

TEST_F(Win32RegistryTest, KeysAreMadeWithParentsAndDeletedAsWindowsDoes) {
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, Key("A\\B\\C")));
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, Key("AB")));
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "\\" + Key("A\\\\B") + "\\"));
  std::vector<std::string> subs = RegistrySubKeys(R::kCurrentUser, base_);
  std::sort(subs.begin(), subs.end());
  EXPECT_EQ(subs, (std::vector<std::string>{"A", "AB"}));
  EXPECT_FALSE(RegistryDeleteKey(R::kCurrentUser, Key("A")));  // it has a sub-key
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  ASSERT_TRUE(RegistryDeleteTree(R::kCurrentUser, Key("A")));
  EXPECT_FALSE(RegistryKeyExists(R::kCurrentUser, Key("A\\B")));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, Key("AB")));  // a sibling sharing the prefix
  EXPECT_FALSE(RegistryDeleteTree(R::kCurrentUser, Key("A")));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  EXPECT_FALSE(RegistryDeleteKey(R::kCurrentUser, ""));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_TRUE(RegistrySubKeys(R::kCurrentUser, Key("missing")).empty());
}

}  // namespace
}  // namespace platform
