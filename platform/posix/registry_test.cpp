#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/paths.h"

namespace platform {
namespace {

using R = RegistryRoot;

// Every test binary gets a fresh virtual root of its own.
class FreshRoot : public ::testing::Environment {
 public:
  void SetUp() override {
    char dir[] = "/tmp/kivro-registry-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    root_ = dir;
    setenv("KIVRO_ROOT", dir, 1);
  }
  void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

 private:
  std::string root_;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new FreshRoot);

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegistryDeleteTree(R::kCurrentUser, "Test"); }
};

TEST_F(RegistryTest, StringAndNumberValuesRoundTrip) {
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\A", "Name", "text"));
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\A", "", "default"));
  ASSERT_TRUE(RegistrySetNumber(R::kCurrentUser, "Test\\A", "Count", 0xFFFFFFFFu));
  std::string s;
  uint32_t n = 0;
  ASSERT_TRUE(RegistryGetString(R::kCurrentUser, "Test\\A", "Name", &s));
  EXPECT_EQ(s, "text");
  ASSERT_TRUE(RegistryGetString(R::kCurrentUser, "Test\\A", "", &s));
  EXPECT_EQ(s, "default");
  ASSERT_TRUE(RegistryGetNumber(R::kCurrentUser, "Test\\A", "Count", &n));
  EXPECT_EQ(n, 0xFFFFFFFFu);
  // Overwriting changes the kind too.
  ASSERT_TRUE(RegistrySetNumber(R::kCurrentUser, "Test\\A", "Name", 7));
  EXPECT_FALSE(RegistryGetString(R::kCurrentUser, "Test\\A", "Name", &s));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  ASSERT_TRUE(RegistryGetNumber(R::kCurrentUser, "Test\\A", "Name", &n));
  EXPECT_EQ(n, 7u);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\MixedCase", "ValueName", "x"));
  std::string s;
  EXPECT_TRUE(RegistryGetString(R::kCurrentUser, "TEST\\mixedcase", "VALUENAME", &s));
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "test\\MIXEDCASE"));
  // Setting through another case replaces the value, it does not add one.
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "test\\mixedcase", "valuename", "y"));
  EXPECT_EQ(RegistryValueNames(R::kCurrentUser, "Test\\MixedCase"),
            std::vector<std::string>{"ValueName"});
  EXPECT_EQ(RegistrySubKeys(R::kCurrentUser, "Test"), std::vector<std::string>{"MixedCase"});
  ASSERT_TRUE(RegistryGetString(R::kCurrentUser, "Test\\MixedCase", "ValueName", &s));
  EXPECT_EQ(s, "y");
}

TEST_F(RegistryTest, RootsAreSeparate) {
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\Same", "v", "user"));
  EXPECT_FALSE(RegistryKeyExists(R::kLocalMachine, "Test\\Same"));
  EXPECT_FALSE(RegistryKeyExists(R::kClassesRoot, "Test\\Same"));
}

TEST_F(RegistryTest, CreateKeyMakesParentsAndSubKeysListsDirectChildrenOnly) {
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\P\\Q\\R"));
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\P\\S"));
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "Test\\P"));
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "Test\\P\\Q"));
  auto subs = RegistrySubKeys(R::kCurrentUser, "Test\\P");
  EXPECT_EQ(subs, (std::vector<std::string>{"Q", "S"}));
  EXPECT_TRUE(RegistrySubKeys(R::kCurrentUser, "Test\\Missing").empty());
  // Creating an existing key succeeds and keeps its values.
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\P", "v", "kept"));
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\P"));
  std::string s;
  EXPECT_TRUE(RegistryGetString(R::kCurrentUser, "Test\\P", "v", &s));
}

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubKeys) {
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\D\\Child"));
  EXPECT_FALSE(RegistryDeleteKey(R::kCurrentUser, "Test\\D"));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "Test\\D\\Child"));
  EXPECT_TRUE(RegistryDeleteKey(R::kCurrentUser, "Test\\D\\Child"));
  EXPECT_TRUE(RegistryDeleteKey(R::kCurrentUser, "Test\\D"));
  EXPECT_FALSE(RegistryKeyExists(R::kCurrentUser, "Test\\D"));
  EXPECT_FALSE(RegistryDeleteKey(R::kCurrentUser, "Test\\D"));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
}

TEST_F(RegistryTest, DeleteTreeRemovesEverythingBelowButNotSiblingsSharingAPrefix) {
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\T\\A\\B"));
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\T\\A", "v", "x"));
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\TT\\A"));
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\T A"));
  ASSERT_TRUE(RegistryDeleteTree(R::kCurrentUser, "Test\\T"));
  EXPECT_FALSE(RegistryKeyExists(R::kCurrentUser, "Test\\T"));
  EXPECT_FALSE(RegistryKeyExists(R::kCurrentUser, "Test\\T\\A\\B"));
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "Test\\TT\\A"));
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "Test\\T A"));
}

TEST_F(RegistryTest, MissingKeysAndValuesFail) {
  std::string s = "unchanged";
  EXPECT_FALSE(RegistryGetString(R::kCurrentUser, "Test\\Nope", "", &s));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  EXPECT_EQ(s, "unchanged");
  ASSERT_TRUE(RegistryCreateKey(R::kCurrentUser, "Test\\Empty"));
  EXPECT_FALSE(RegistryGetString(R::kCurrentUser, "Test\\Empty", "", &s));
  EXPECT_FALSE(RegistryDeleteValue(R::kCurrentUser, "Test\\Empty", "x"));
  EXPECT_FALSE(RegistryDeleteValue(R::kCurrentUser, "Test\\Nope", "x"));
  // The roots themselves always exist and cannot be deleted.
  EXPECT_TRUE(RegistryKeyExists(R::kClassesRoot, ""));
  EXPECT_FALSE(RegistryDeleteTree(R::kClassesRoot, ""));
}

TEST_F(RegistryTest, DeleteValueRemovesOnlyThatValue) {
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\V", "a", "1"));
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\V", "b", "2"));
  ASSERT_TRUE(RegistryDeleteValue(R::kCurrentUser, "Test\\V", "A"));
  EXPECT_EQ(RegistryValueNames(R::kCurrentUser, "Test\\V"), std::vector<std::string>{"b"});
  EXPECT_TRUE(RegistryKeyExists(R::kCurrentUser, "Test\\V"));
}

TEST_F(RegistryTest, AwkwardTextsSurviveTheFile) {
  const std::string texts[] = {
      "", "quote \" percent % back\\slash", "line\nfeed\r\ttab", "\xB0\xA1\xB3\xAA",  // 가나 in CP949
      std::string("nul\0inside", 10), "  leading and trailing  "};
  int i = 0;
  for (const std::string& text : texts) {
    std::string name = "n" + std::to_string(i++) + " \"%";
    ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\Key \"with\" %20 odd", name, text));
    std::string back;
    ASSERT_TRUE(RegistryGetString(R::kCurrentUser, "Test\\Key \"with\" %20 odd", name, &back));
    EXPECT_EQ(back, text);
  }
}

TEST_F(RegistryTest, StoredUnderTheVirtualRootWithNoTemporaryFileLeft) {
  ASSERT_TRUE(RegistrySetString(R::kCurrentUser, "Test\\F", "v", "on disk"));
  std::ifstream in(VirtualRoot() + "/registry/registry.txt");
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_NE(content.str().find("on disk"), std::string::npos);
  std::string listing;
  FILE* ls = popen(("ls '" + VirtualRoot() + "/registry'").c_str(), "r");
  char buf[256];
  while (fgets(buf, sizeof buf, ls)) listing += buf;
  pclose(ls);
  EXPECT_EQ(listing.find(".tmp"), std::string::npos) << listing;
}

TEST_F(RegistryTest, WritersInSeveralProcessesLoseNothing) {
  constexpr int kChildren = 4, kEach = 25;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kEach; ++i) {
        ok &= RegistrySetNumber(R::kCurrentUser, "Test\\Shared", "c" + std::to_string(c) + "_" +
                                std::to_string(i), static_cast<uint32_t>(c * 1000 + i));
        ok &= RegistryCreateKey(R::kCurrentUser,
                                "Test\\Own" + std::to_string(c) + "\\" + std::to_string(i));
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(RegistryValueNames(R::kCurrentUser, "Test\\Shared").size(),
            size_t(kChildren * kEach));
  for (int c = 0; c < kChildren; ++c) {
    EXPECT_EQ(RegistrySubKeys(R::kCurrentUser, "Test\\Own" + std::to_string(c)).size(),
              size_t(kEach));
    uint32_t n = 0;
    ASSERT_TRUE(RegistryGetNumber(R::kCurrentUser, "Test\\Shared", "c" + std::to_string(c) + "_7", &n));
    EXPECT_EQ(n, uint32_t(c * 1000 + 7));
  }
}

TEST_F(RegistryTest, WritersInSeveralThreadsLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 15; ++i) {
        RegistrySetString(R::kCurrentUser, "Test\\Threads", std::to_string(t * 100 + i), "v");
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(RegistryValueNames(R::kCurrentUser, "Test\\Threads").size(), 45u);
}

}  // namespace
}  // namespace platform
