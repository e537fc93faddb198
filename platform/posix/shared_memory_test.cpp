#include "platform/shared_memory.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "platform/error.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

// A child process that runs `setup`, reports it is ready, then waits until
// told to end (or is killed).
class Child {
 public:
  explicit Child(const std::function<bool()>& setup) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(go[1]);
      char ok = setup() ? 'y' : 'n';
      (void)!write(ready[1], &ok, 1);
      char c;
      (void)!read(go[0], &c, 1);
      _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    go_ = go[1];
    char ok = 'n';
    ready_ = read(ready[0], &ok, 1) == 1 && ok == 'y';
    close(ready[0]);
  }
  ~Child() { End(); }
  bool Ready() const { return ready_; }
  void End() {
    if (pid_ <= 0) return;
    close(go_);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    close(go_);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  bool ready_ = false;
};

using SharedMemoryTest = TempRootTest;

TEST_F(SharedMemoryTest, ANewSectionIsZeroFilled) {
  SharedMemory section;
  ASSERT_TRUE(section.CreateOrOpen("ZM_Property", 512));
  EXPECT_FALSE(section.AlreadyExisted());
  auto* bytes = static_cast<unsigned char*>(section.Map());
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 512; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST_F(SharedMemoryTest, AnotherProcessSeesTheTextWhileItIsHeld) {
  Child writer([] {
    static SharedMemory held;  // stays open in the child
    if (!held.CreateOrOpen("ZM_Property", 512)) return false;
    char* view = static_cast<char*>(held.Map());
    if (view == nullptr) return false;
    std::strcpy(view, "game info from the client");
    return true;
  });
  ASSERT_TRUE(writer.Ready());
  {
    SharedMemory reader;
    ASSERT_TRUE(reader.CreateOrOpen("ZM_Property", 512));
    EXPECT_TRUE(reader.AlreadyExisted());
    ASSERT_NE(reader.Map(), nullptr);
    EXPECT_STREQ(static_cast<char*>(reader.Map()), "game info from the client");
  }
  writer.End();
  // Nobody holds it any more: the next open makes a new, empty section.
  SharedMemory again;
  ASSERT_TRUE(again.CreateOrOpen("ZM_Property", 512));
  EXPECT_FALSE(again.AlreadyExisted());
  EXPECT_STREQ(static_cast<char*>(again.Map()), "");
}

TEST_F(SharedMemoryTest, AKilledHolderLeavesNoSectionBehind) {
  Child writer([] {
    static SharedMemory held;
    return held.CreateOrOpen("Section", 64) && std::strcpy(static_cast<char*>(held.Map()), "x");
  });
  ASSERT_TRUE(writer.Ready());
  writer.Kill();
  SharedMemory section;
  ASSERT_TRUE(section.CreateOrOpen("Section", 64));
  EXPECT_FALSE(section.AlreadyExisted());
  EXPECT_STREQ(static_cast<char*>(section.Map()), "");
}

TEST_F(SharedMemoryTest, NamesAreExactAndMayHoldAnyCharacter) {
  SharedMemory a, b, c;
  ASSERT_TRUE(a.CreateOrOpen("Local\\odd/name %..", 16));
  ASSERT_TRUE(b.CreateOrOpen("local\\odd/name %..", 16));
  EXPECT_FALSE(b.AlreadyExisted());  // case matters
  ASSERT_TRUE(c.CreateOrOpen(std::string(300, 'n'), 16));  // longer than a file name
  EXPECT_FALSE(a.CreateOrOpen("", 16));
  EXPECT_EQ(GetLastSystemError(), kErrorInvalidName);
}

TEST_F(SharedMemoryTest, TwoHandlesInOneProcessShareTheBytes) {
  SharedMemory a, b;
  ASSERT_TRUE(a.CreateOrOpen("Same", 32));
  ASSERT_TRUE(b.CreateOrOpen("Same", 32));
  EXPECT_TRUE(b.AlreadyExisted());
  std::strcpy(static_cast<char*>(a.Map()), "shared");
  EXPECT_STREQ(static_cast<char*>(b.Map()), "shared");
}

}  // namespace
}  // namespace platform
