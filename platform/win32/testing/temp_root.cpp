#include "platform/testing/temp_root.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace platform {

namespace {

constexpr char kDrive[] = "C:\\";

std::vector<std::string> DriveEntries() {
  std::vector<DirEntry> entries;
  std::vector<std::string> names;
  if (ListDirectory(kDrive, &entries))
    for (const DirEntry& e : entries) names.push_back(ToLowerAscii(e.name));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// The tests write at fixed places of the real machine (C:\a, C:\Game...):
// one test at a time across every test program, by a mutex of the session
// held from SetUp to TearDown (a test program that dies leaves it
// abandoned, which the next one takes over).
void TempRootTest::SetUp() {
  HANDLE turn = CreateMutexW(nullptr, FALSE, L"Local\\kivro-test-machine");
  ASSERT_NE(turn, nullptr);
  DWORD waited = WaitForSingleObject(turn, INFINITE);
  ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
  turn_ = turn;
  drive_entries_ = DriveEntries();

  static std::atomic<unsigned> counter{0};
  std::string base = TempDirectory() + "kivro-test-" + std::to_string(GetCurrentProcessId()) + "-";
  for (;;) {
    root_ = base + std::to_string(counter++);
    if (MakeDirectory(root_)) break;
    ASSERT_TRUE(FileExists(root_)) << "cannot make " << root_;
  }
}

void TempRootTest::TearDown() {
  RemoveTree(root_);
  for (const std::string& name : DriveEntries())
    if (!std::binary_search(drive_entries_.begin(), drive_entries_.end(), name))
      RemoveTree(kDrive + name);
  if (turn_ != nullptr) {
    ReleaseMutex(static_cast<HANDLE>(turn_));
    CloseHandle(static_cast<HANDLE>(turn_));
    turn_ = nullptr;
  }
}

std::string TempRootTest::RootFolder() const { return root_; }

}  // namespace platform
