#include "platform/win32/file_change.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace platform {

namespace {

// The rename of Windows 10 and later that replaces a target still held
// open (POSIX semantics): the holders keep the old file.
bool RenameReplacingOpenTarget(const std::wstring& from, const std::wstring& to) {
  constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;
  // FileRenameInfoEx, which the headers declare only for Windows 10 targets.
  constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  std::wstring full_to = FullWidePath(to);
  HANDLE h = CreateFileW(
      from.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  size_t name_bytes = full_to.size() * sizeof(wchar_t);
  size_t size = offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t);
  std::vector<uint64_t> buffer((size + 7) / 8, 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  DWORD flags = kReplaceIfExists | kPosixSemantics;  // the union's Flags member
  memcpy(buffer.data(), &flags, sizeof flags);
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  memcpy(info->FileName, full_to.c_str(), name_bytes);
  bool ok = SetFileInformationByHandle(h, kFileRenameInfoEx, info, static_cast<DWORD>(size)) != 0;
  CloseHandle(h);
  return ok;
}

// Where that rename is missing: the open target is renamed aside (a file
// open for sharing may be renamed), the new file takes its name, and the
// old one is deleted; its holders keep reading it until they close it. A
// failure puts the old file back.
bool MoveOpenTargetAside(const std::wstring& from, const std::wstring& to) {
  static std::atomic<unsigned> counter{0};
  std::wstring aside = to + L".replaced-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(counter++);
  if (!MoveFileExW(to.c_str(), aside.c_str(), 0)) return false;
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
    MoveFileExW(aside.c_str(), to.c_str(), 0);
    return false;
  }
  DWORD attributes = GetFileAttributesW(aside.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) DeleteWide(aside, attributes);
  return true;
}

}  // namespace

bool SetHandleTimes(HANDLE h, const FileTime* creation, const FileTime* access,
                    const FileTime* write) {
  FILETIME c, a, w;
  if (creation) c = FILETIME{creation->low, creation->high};
  if (access) a = FILETIME{access->low, access->high};
  if (write) w = FILETIME{write->low, write->high};
  return SetFileTime(h, creation ? &c : nullptr, access ? &a : nullptr, write ? &w : nullptr) !=
             0 ||
         FailWithLastError();
}

bool DeleteWide(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  return DeleteFileW(path.c_str()) != 0 || FailWithLastError();
}

bool MoveWide(const std::wstring& from, const std::wstring& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  // Some file systems say "file exists" where the contract says "already exists".
  if (::GetLastError() == ERROR_FILE_EXISTS) return FailWith(kErrorAlreadyExists);
  return FailWithLastError();
}

bool ReplaceWide(const std::wstring& from, const std::wstring& to) {
  // A rename over the target: readers see the old or the new file, never a
  // mix. (ReplaceFileW keeps the old file's attributes and identity, which
  // the system does not want: the new file is what was written.)
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DWORD error = ::GetLastError();
  // A target someone holds open refuses the classic rename over it.
  if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return FailWithLastError();
  // A folder at the target's name is never replaced (nor put aside): the
  // refusal stands.
  DWORD target = GetFileAttributesW(to.c_str());
  if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY))
    return FailWith(static_cast<int32_t>(error));
  if (RenameReplacingOpenTarget(from, to)) return true;
  return MoveOpenTargetAside(from, to) || FailWith(static_cast<int32_t>(error));
}

}  // namespace platform
