// Changes below a folder never pass a reparse point (a junction here, which
// any user may make) planted at a file's name or at a folder on the way;
// the folder itself may be one. Where the system makes no reparse points
// (Wine keeps none) the cases are skipped: what they would check cannot
// happen there.
#include "platform/file_inside.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/testing/temp_root.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

// Makes `link` (a new folder) a junction to the folder `target`: a mount
// point reparse buffer (tag, sizes, then the substitute and print names).
bool MakeJunction(const std::string& link, const std::string& target) {
  std::wstring wide_link = WidePath(link);
  std::wstring print = FullWidePath(WidePath(target));
  std::wstring substitute = L"\\??\\" + print;
  if (!CreateDirectoryW(wide_link.c_str(), nullptr)) return false;
  HANDLE h = CreateFileW(wide_link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  struct MountPointHeader {
    DWORD tag;
    WORD data_length, reserved;
    WORD substitute_offset, substitute_length, print_offset, print_length;
  };
  WORD substitute_bytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  WORD print_bytes = static_cast<WORD>(print.size() * sizeof(wchar_t));
  std::vector<char> buffer(
      sizeof(MountPointHeader) + substitute_bytes + print_bytes + 2 * sizeof(wchar_t), 0);
  MountPointHeader header{};
  header.tag = IO_REPARSE_TAG_MOUNT_POINT;
  header.substitute_length = substitute_bytes;
  header.print_offset = static_cast<WORD>(substitute_bytes + sizeof(wchar_t));
  header.print_length = print_bytes;
  header.data_length = static_cast<WORD>(buffer.size() - 8);  // all but tag and sizes
  memcpy(buffer.data(), &header, sizeof header);
  memcpy(buffer.data() + sizeof header, substitute.c_str(), substitute_bytes);
  memcpy(buffer.data() + sizeof header + header.print_offset, print.c_str(), print_bytes);
  DWORD returned = 0;
  bool ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(),
                            static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr) != 0;
  CloseHandle(h);
  // Some systems say yes and make nothing: the attribute tells.
  return ok && (GetFileAttributesW(wide_link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

class FileInsideJunctionTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    ASSERT_TRUE(CreateDirectoryChain("C:\\Game"));
    ASSERT_TRUE(CreateDirectoryChain("C:\\Elsewhere"));
    ASSERT_TRUE(WriteWholeFile("C:\\Elsewhere\\victim.txt", "keep", 4));
    ASSERT_TRUE(GetFileInfo("C:\\Elsewhere\\victim.txt", &victim_before_));
  }
  // False (the test skipped) where junctions cannot be made.
  bool Junction(const std::string& link, const std::string& target) {
    if (MakeJunction(link, target)) return true;
    RemoveEmptyDirectory(link);
    [] { GTEST_SKIP() << "this system makes no junctions (Wine keeps no reparse points)"; }();
    return false;
  }
  void ExpectVictimUntouched() {
    std::string content;
    ASSERT_TRUE(ReadWholeFile("C:\\Elsewhere\\victim.txt", &content));
    EXPECT_EQ(content, "keep");
    FileInfo info;
    ASSERT_TRUE(GetFileInfo("C:\\Elsewhere\\victim.txt", &info));
    EXPECT_EQ(info.attributes, victim_before_.attributes);
    EXPECT_EQ(info.write.Value(), victim_before_.write.Value());
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory("C:\\Elsewhere", &entries));
    EXPECT_EQ(entries.size(), 1u);
  }
  FileInfo victim_before_;
};

TEST_F(FileInsideJunctionTest, JunctionAtAFolderOnTheWayIsNeverPassed) {
  if (!Junction("C:\\Game\\sub", "C:\\Elsewhere")) return;
  File f;
  EXPECT_FALSE(
      f.OpenInside("C:\\Game", "C:\\Game\\sub\\new.txt", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(f.OpenInside("C:\\Game", "C:\\Game\\sub\\victim.txt", File::kWrite,
                            File::Mode::kOpenExisting));
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game\\SUB\\victim.txt"));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  FileTime t = FileTime::FromValue(116444736000000000ULL);
  EXPECT_FALSE(SetFileTimesInside("C:\\Game", "C:\\Game\\sub\\victim.txt", &t, &t, &t));
  EXPECT_FALSE(SetAttributesInside("C:\\Game", "C:\\Game\\sub\\victim.txt", kAttrReadOnly));
  EXPECT_FALSE(CreateFoldersInside("C:\\Game", "C:\\Game\\sub\\deeper"));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(NoLinkInside("C:\\Game", "C:\\Game\\sub\\victim.txt"));
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\b.txt", "new", 3));
  EXPECT_FALSE(ReplaceInside("C:\\Game", "C:\\Game\\b.txt", "C:\\Game\\sub\\victim.txt"));
  EXPECT_FALSE(MoveInside("C:\\Game", "C:\\Game\\sub\\victim.txt", "C:\\Game\\stolen.txt"));
  ExpectVictimUntouched();
  EXPECT_TRUE(GetFileAttributesW(WidePath("C:\\Game\\sub").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST_F(FileInsideJunctionTest, JunctionAtTheNameIsLeftAsItIs) {
  if (!Junction("C:\\Game\\a.txt", "C:\\Elsewhere")) return;
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\a.txt.kvpart", "new", 3));
  File f;
  EXPECT_FALSE(
      f.OpenInside("C:\\Game", "C:\\Game\\a.txt", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  FileTime t = FileTime::FromValue(116444736000000000ULL);
  EXPECT_FALSE(SetFileTimesInside("C:\\Game", "C:\\Game\\a.txt", &t, &t, &t));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(SetAttributesInside("C:\\Game", "C:\\Game\\a.txt", kAttrReadOnly));
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game\\a.txt"));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(ReplaceInside("C:\\Game", "C:\\Game\\a.txt.kvpart", "C:\\Game\\a.txt"));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(MoveInside("C:\\Game", "C:\\Game\\a.txt", "C:\\Game\\b.txt"));
  EXPECT_TRUE(FileExists("C:\\Game\\a.txt.kvpart"));
  ExpectVictimUntouched();
  EXPECT_TRUE(GetFileAttributesW(WidePath("C:\\Game\\a.txt").c_str()) &
              FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST_F(FileInsideJunctionTest, ChangesBelowAFolderThatIsItselfAJunctionWork) {
  if (!Junction("C:\\Moved", "C:\\Game")) return;
  ASSERT_TRUE(CreateFoldersInside("C:\\Moved", "C:\\Moved\\data"));
  File f;
  ASSERT_TRUE(f.OpenInside("C:\\Moved", "C:\\Moved\\DATA\\x.bin.kvpart", File::kWrite,
                           File::Mode::kCreateAlways));
  ASSERT_TRUE(f.Write("abc", 3));
  f.Close();
  EXPECT_TRUE(
      ReplaceInside("C:\\Moved", "C:\\Moved\\data\\x.bin.kvpart", "C:\\Moved\\data\\x.bin"));
  EXPECT_TRUE(NoLinkInside("C:\\Moved", "C:\\Moved\\data\\x.bin"));
  std::string content;
  ASSERT_TRUE(ReadWholeFile("C:\\Game\\data\\x.bin", &content));
  EXPECT_EQ(content, "abc");
  EXPECT_TRUE(RemoveFileInside("C:\\Moved", "C:\\Moved\\data\\x.bin"));
  EXPECT_FALSE(FileExists("C:\\Game\\data\\x.bin"));
}

}  // namespace
}  // namespace platform
