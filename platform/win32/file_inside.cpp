// Changes below a trusted folder. The folder is opened as it stands; every
// folder below it on the way to the name is opened as itself (never through
// a reparse point: symbolic links, junctions and mount points are all
// reparse points) and checked. Those handles are held, without sharing
// deletion, until the change is done: while they are open no folder on the
// way can be renamed, removed or put aside for a link, so the name the
// change takes is the one that was checked. The name itself is opened as
// itself and checked through its handle, or checked just before a change
// that never follows a link anyway (rename, delete).
#include "platform/file_inside.h"

#include <windows.h>

#include <vector>

#include "platform/error.h"
#include "platform/win32/file_change.h"
#include "platform/win32/file_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Reading the folder's entries is an access that sharing governs, so the
// missing FILE_SHARE_DELETE holds against a rename or removal of it.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// An absolute path without its "\\?\" prefix, so that two spellings of one
// path compare alike.
std::wstring PlainFullPath(const std::string& path) {
  std::wstring full = FullWidePath(WidePath(path));
  if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + full.substr(8);
  if (full.compare(0, 4, L"\\\\?\\") == 0) return full.substr(4);
  return full;
}

bool SameNoCase(const wchar_t* a, const wchar_t* b, size_t length) {
  return CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) ==
         CSTR_EQUAL;
}

// `path` seen from `folder`: the folder's full path (no separator at its
// end, "C:" for a drive's root) and the names below it.
struct Below {
  std::wstring base;
  std::vector<std::wstring> parts;
  // The folder and the first `count` names, as the wide API takes them.
  std::wstring Wide(size_t count) const {
    std::wstring p = base;
    for (size_t i = 0; i < count; ++i) p += L"\\" + parts[i];
    if (count == 0 && !p.empty() && p.back() == L':') p += L'\\';
    return LongWidePath(p);
  }
  std::wstring Full() const { return Wide(parts.size()); }
};

bool SplitBelow(const std::string& folder, const std::string& path, Below* out) {
  if (folder.empty() || path.empty()) return FailWith(kErrorPathNotFound);
  out->base = PlainFullPath(folder);
  while (!out->base.empty() && out->base.back() == L'\\') out->base.pop_back();
  std::wstring full = PlainFullPath(path);
  out->parts.clear();
  size_t n = out->base.size();
  // Names are compared without regard to case, as the file system does.
  if (out->base.empty() || full.size() < n || !SameNoCase(full.c_str(), out->base.c_str(), n) ||
      (full.size() > n && full[n] != L'\\'))
    return FailWith(kErrorAccessDenied);
  size_t pos = n + 1;
  while (pos < full.size()) {
    size_t slash = full.find(L'\\', pos);
    if (slash == std::wstring::npos) slash = full.size();
    if (slash > pos) out->parts.push_back(full.substr(pos, slash - pos));
    pos = slash + 1;
  }
  return true;
}

// Folder handles held until the change is done.
class HeldFolders {
 public:
  HeldFolders() = default;
  ~HeldFolders() {
    for (HANDLE h : handles_) CloseHandle(h);
  }
  HeldFolders(const HeldFolders&) = delete;
  HeldFolders& operator=(const HeldFolders&) = delete;
  void Add(HANDLE h) { handles_.push_back(h); }

 private:
  std::vector<HANDLE> handles_;
};

// Opens one folder to hold it: as itself below the trusted folder
// (`as_itself`), else through whatever it is. Fails with
// kErrorStoppedOnSymlink at a reparse point and kErrorPathNotFound at a file.
bool HoldFolder(const std::wstring& path, bool as_itself, HeldFolders* held) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (as_itself ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE h = CreateFileW(path.c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING, flags,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    // Missing, or a file where a folder must be: the path does not exist.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY)
      return FailWith(kErrorPathNotFound);
    return FailWithLastError();
  }
  held->Add(h);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return FailWithLastError();
  if (as_itself && IsLink(info.dwFileAttributes)) return FailWith(kErrorStoppedOnSymlink);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return FailWith(kErrorPathNotFound);
  return true;
}

// Holds the folder and the first `count` folders below it, creating
// missing ones when `create`.
bool HoldFolders(const Below& b, size_t count, bool create, HeldFolders* held) {
  if (!HoldFolder(b.Wide(0), false, held)) return false;
  for (size_t i = 1; i <= count; ++i) {
    std::wstring path = b.Wide(i);
    if (create && !CreateDirectoryW(path.c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
      return FailWithLastError();
    if (!HoldFolder(path, true, held)) return false;
  }
  return true;
}

// Holds the folders that lead to `path`'s last name.
bool HoldParent(const std::string& folder, const std::string& path, Below* b, HeldFolders* held) {
  if (!SplitBelow(folder, path, b)) return false;
  if (b->parts.empty())
    return FailWith(kErrorAccessDenied);  // the folder itself is no file below it
  return HoldFolders(*b, b->parts.size() - 1, false, held);
}

// The name itself, opened as itself with `access`; a reparse point is
// refused. INVALID_HANDLE_VALUE on failure.
HANDLE OpenLeaf(const std::wstring& path, DWORD access, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h =
      CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    FailWithLastError();
    return h;
  }
  bool known = GetFileInformationByHandle(h, info) != 0;
  if (known && !IsLink(info->dwFileAttributes)) return h;
  if (known)
    FailWith(kErrorStoppedOnSymlink);
  else
    FailWithLastError();
  CloseHandle(h);
  return INVALID_HANDLE_VALUE;
}

// Attributes through a handle: zero times leave the times as they are.
bool SetHandleAttributes(HANDLE h, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = attributes;
  return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) != 0 ||
         FailWithLastError();
}

bool RenameInside(const std::string& folder, const std::string& from, const std::string& to,
                  bool replace) {
  Below src, dst;
  HeldFolders held;
  if (!HoldParent(folder, from, &src, &held) || !HoldParent(folder, to, &dst, &held)) return false;
  // Neither a link moved into place nor one standing at the target. A
  // rename takes the names themselves, never what a link points to.
  std::wstring source = src.Full(), target = dst.Full();
  if (IsLink(GetFileAttributesW(source.c_str())) || IsLink(GetFileAttributesW(target.c_str())))
    return FailWith(kErrorStoppedOnSymlink);
  return replace ? ReplaceWide(source, target) : MoveWide(source, target);
}

}  // namespace

bool File::OpenInside(const std::string& folder, const std::string& path, int access, Mode mode) {
  Close();
  // The name is opened as itself, never created over a link; emptying an
  // existing file waits until the handle shows it is no link.
  DWORD disposition = OPEN_EXISTING;
  bool truncate = false;
  switch (mode) {
    case Mode::kCreateNew:
      disposition = CREATE_NEW;
      break;
    case Mode::kCreateAlways:
      disposition = OPEN_ALWAYS;
      truncate = true;
      break;
    case Mode::kOpenExisting:
      disposition = OPEN_EXISTING;
      break;
    case Mode::kOpenAlways:
      disposition = OPEN_ALWAYS;
      break;
    case Mode::kTruncateExisting:
      disposition = OPEN_EXISTING;
      truncate = true;
      break;
  }
  DWORD desired = 0;
  if (access & kRead) desired |= GENERIC_READ;
  if ((access & kWrite) || truncate) desired |= GENERIC_WRITE;
  Below b;
  HeldFolders held;
  if (!HoldParent(folder, path, &b, &held)) return false;
  std::wstring wide = b.Full();
  if (IsLink(GetFileAttributesW(wide.c_str()))) return FailWith(kErrorStoppedOnSymlink);
  HANDLE h = CreateFileW(wide.c_str(), desired, kShareAll, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FailWithLastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) {
    FailWithLastError();
    CloseHandle(h);
    return false;
  }
  // A link that appeared meanwhile was opened as itself: left as it is.
  int32_t refused = IsLink(info.dwFileAttributes)                        ? kErrorStoppedOnSymlink
                    : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? kErrorAccessDenied
                                                                         : kErrorSuccess;
  if (refused == kErrorSuccess && truncate && !SetHandleSize(h, 0)) refused = GetLastSystemError();
  if (refused != kErrorSuccess) {
    CloseHandle(h);
    return FailWith(refused);
  }
  handle_ = reinterpret_cast<NativeHandle>(h);
  return true;
}

bool MoveInside(const std::string& folder, const std::string& from, const std::string& to) {
  return RenameInside(folder, from, to, false);
}

bool ReplaceInside(const std::string& folder, const std::string& from, const std::string& to) {
  return RenameInside(folder, from, to, true);
}

bool RemoveFileInside(const std::string& folder, const std::string& path) {
  Below b;
  HeldFolders held;
  if (!HoldParent(folder, path, &b, &held)) return false;
  std::wstring wide = b.Full();
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailWithLastError();
  if (IsLink(attributes)) return FailWith(kErrorStoppedOnSymlink);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FailWith(kErrorAccessDenied);
  // The read-only attribute is cleared through a handle to the name itself;
  // the deletion takes the name, never what a link would point to.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE h = OpenLeaf(wide, FILE_WRITE_ATTRIBUTES, &info);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD cleared = info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
    bool ok = SetHandleAttributes(h, cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
    CloseHandle(h);
    if (!ok) return false;
  }
  return DeleteFileW(wide.c_str()) != 0 || FailWithLastError();
}

bool SetFileTimesInside(const std::string& folder, const std::string& path,
                        const FileTime* creation, const FileTime* access, const FileTime* write) {
  Below b;
  HeldFolders held;
  if (!HoldParent(folder, path, &b, &held)) return false;
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE h = OpenLeaf(b.Full(), FILE_WRITE_ATTRIBUTES, &info);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = SetHandleTimes(h, creation, access, write);
  CloseHandle(h);
  return ok;
}

bool SetAttributesInside(const std::string& folder, const std::string& path, uint32_t attributes) {
  Below b;
  HeldFolders held;
  if (!HoldParent(folder, path, &b, &held)) return false;
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE h = OpenLeaf(b.Full(), FILE_WRITE_ATTRIBUTES, &info);
  if (h == INVALID_HANDLE_VALUE) return false;
  // As SetPathAttributes for a file: the settable ones, NORMAL for none. A
  // folder keeps its own (the update sets attributes of files only).
  DWORD settable = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  bool ok = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            SetHandleAttributes(h, settable ? settable : FILE_ATTRIBUTE_NORMAL);
  CloseHandle(h);
  return ok;
}

bool CreateFoldersInside(const std::string& folder, const std::string& dir_path) {
  Below b;
  HeldFolders held;
  return SplitBelow(folder, dir_path, &b) && HoldFolders(b, b.parts.size(), true, &held);
}

bool NoLinkInside(const std::string& folder, const std::string& path) {
  Below b;
  if (!SplitBelow(folder, path, &b)) return false;
  for (size_t i = 1; i <= b.parts.size(); ++i) {
    DWORD attributes = GetFileAttributesW(b.Wide(i).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // missing: nothing further exists
    if (IsLink(attributes)) return FailWith(kErrorStoppedOnSymlink);
  }
  return true;
}

}  // namespace platform
