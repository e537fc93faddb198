#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

// Runs a child that creates the mutex `name` and holds it until its stdin
// pipe closes (or it is killed); returns its pid and the pipe.
pid_t StartHolder(const std::string& name, int* go) {
  int ready[2], pipe_go[2];
  if (pipe(ready) != 0 || pipe(pipe_go) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    close(pipe_go[1]);
    static NamedMutex held;
    char ok = held.Create(name) ? 'y' : 'n';
    (void)!write(ready[1], &ok, 1);
    char c;
    (void)!read(pipe_go[0], &c, 1);
    _exit(0);
  }
  close(ready[1]);
  close(pipe_go[0]);
  char ok = 'n';
  if (read(ready[0], &ok, 1) != 1 || ok != 'y') pid = -1;
  close(ready[0]);
  *go = pipe_go[1];
  return pid;
}

using NamedMutexTest = TempRootTest;

TEST_F(NamedMutexTest, ExistsWhileAnotherProcessHoldsIt) {
  int go = -1;
  pid_t pid = StartHolder("Gobanvista_Running", &go);
  ASSERT_GT(pid, 0);
  NamedMutex m;
  EXPECT_TRUE(m.OpenExisting("Gobanvista_Running"));
  m.Close();
  EXPECT_FALSE(m.OpenExisting("gobanvista_running"));  // names are exact
  close(go);
  waitpid(pid, nullptr, 0);
  EXPECT_FALSE(m.OpenExisting("Gobanvista_Running"));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
}

TEST_F(NamedMutexTest, GoneWhenItsHolderIsKilled) {
  int go = -1;
  pid_t pid = StartHolder("Killed", &go);
  ASSERT_GT(pid, 0);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(go);
  NamedMutex m;
  EXPECT_FALSE(m.OpenExisting("Killed"));
}

TEST_F(NamedMutexTest, OpeningNeverCreates) {
  NamedMutex probe;
  EXPECT_FALSE(probe.OpenExisting("Never"));
  EXPECT_FALSE(probe.OpenExisting("Never"));
  EXPECT_FALSE(probe.OpenExisting(""));
  NamedMutex made;
  bool existed = true;
  ASSERT_TRUE(made.Create("Never", &existed));
  EXPECT_FALSE(existed);
}

TEST_F(NamedMutexTest, CreateReportsAnExistingMutexAndOpenKeepsItAlive) {
  NamedMutex first, second, opened;
  bool existed = true;
  ASSERT_TRUE(first.Create("Shared", &existed));
  EXPECT_FALSE(existed);
  ASSERT_TRUE(second.Create("Shared", &existed));
  EXPECT_TRUE(existed);
  ASSERT_TRUE(opened.OpenExisting("Shared"));
  first.Close();
  second.Close();
  NamedMutex probe;
  EXPECT_TRUE(probe.OpenExisting("Shared"));  // `opened` still holds it
  probe.Close();
  opened.Close();
  EXPECT_FALSE(probe.OpenExisting("Shared"));
}

TEST_F(NamedMutexTest, UnnamedMutexesCannotBeFound) {
  NamedMutex unnamed;
  ASSERT_TRUE(unnamed.Create(""));
  EXPECT_TRUE(unnamed.IsOpen());
  NamedMutex probe;
  EXPECT_FALSE(probe.OpenExisting(""));
}

}  // namespace
}  // namespace platform
