#include "platform/file.h"

#include <windows.h>

#include "platform/codepage.h"
#include "platform/debug.h"
#include "platform/paths.h"
#include "platform/win32/file_change.h"
#include "platform/win32/file_handle.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

constexpr uint32_t kKnownAttributes =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive | kAttrNormal;

// The attributes the system knows. Windows reports more (compressed, not
// indexed, reparse point...); a file left without any of ours reports
// NORMAL, as Windows does for a file without attributes.
uint32_t KnownAttributes(DWORD native) {
  uint32_t known = native & kKnownAttributes;
  if (known == 0 && (native & FILE_ATTRIBUTE_DIRECTORY) == 0) known = kAttrNormal;
  return known;
}

FileTime FromNative(const FILETIME& ft) { return FileTime{ft.dwLowDateTime, ft.dwHighDateTime}; }

FILETIME ToNative(const FileTime& ft) { return FILETIME{ft.low, ft.high}; }

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A folder with everything in it. A link inside (a junction or a symbolic
// link to a folder) is removed itself, never followed.
bool RemoveTreeWide(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailWithLastError();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DeleteWide(path, attributes);
  bool ok = true;
  if (!IsLink(attributes)) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return FailWithLastError();
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (!RemoveTreeWide(path + L"\\" + name)) ok = false;
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!RemoveDirectoryW(path.c_str())) return FailWithLastError();
  return ok;
}

// Where the folder names of an absolute path start: after "X:\" or after
// "\\server\share\" (also in their "\\?\" forms).
size_t FirstNameOffset(const std::wstring& full) {
  size_t start = 0;
  if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    start = 8;
  } else if (full.compare(0, 4, L"\\\\?\\") == 0) {
    start = 4;
  } else if (full.compare(0, 2, L"\\\\") == 0) {
    start = 2;
  } else {
    return full.size() >= 3 && full[1] == L':' ? 3 : 0;
  }
  if (start != 4) {  // server and share
    size_t server_end = full.find(L'\\', start);
    if (server_end == std::wstring::npos) return full.size();
    size_t share_end = full.find(L'\\', server_end + 1);
    return share_end == std::wstring::npos ? full.size() : share_end + 1;
  }
  return full.size() >= start + 3 && full[start + 1] == L':' ? start + 3 : start;
}

}  // namespace

uint32_t GetPathAttributes(const std::string& path) {
  DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    FailWithLastError();
    return kInvalidFileAttributes;
  }
  return KnownAttributes(attributes);
}

bool SetPathAttributes(const std::string& path, uint32_t attributes) {
  DWORD settable = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return SetFileAttributesW(WidePath(path).c_str(), settable ? settable : FILE_ATTRIBUTE_NORMAL) != 0 ||
         FailWithLastError();
}

bool FileExists(const std::string& path) { return GetPathAttributes(path) != kInvalidFileAttributes; }

bool DirectoryExists(const std::string& path) {
  uint32_t a = GetPathAttributes(path);
  return a != kInvalidFileAttributes && (a & kAttrDirectory);
}

bool GetFileInfo(const std::string& path, FileInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    return FailWithLastError();
  info->attributes = KnownAttributes(data.dwFileAttributes);
  bool folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  info->size = folder ? 0 : (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->creation = FromNative(data.ftCreationTime);
  info->access = FromNative(data.ftLastAccessTime);
  info->write = FromNative(data.ftLastWriteTime);
  return true;
}

bool SetFileTimes(const std::string& path, const FileTime* creation, const FileTime* access,
                  const FileTime* write) {
  // The times of a link are its own: never those of what it points to.
  HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return FailWithLastError();
  bool ok = SetHandleTimes(h, creation, access, write);
  CloseHandle(h);
  return ok;
}

bool MovePath(const std::string& from, const std::string& to) {
  return MoveWide(WidePath(from), WidePath(to));
}

bool ReplacePath(const std::string& from, const std::string& to) {
  return ReplaceWide(WidePath(from), WidePath(to));
}

bool RemoveFile(const std::string& path) {
  std::wstring wide = WidePath(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailWithLastError();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(attributes))
    return FailWith(kErrorAccessDenied);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)  // a link to a folder: the link goes
    return RemoveDirectoryW(wide.c_str()) != 0 || FailWithLastError();
  return DeleteWide(wide, attributes);
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0 || FailWithLastError();
}

bool RemoveEmptyDirectory(const std::string& path) {
  return RemoveDirectoryW(WidePath(path).c_str()) != 0 || FailWithLastError();
}

bool RemoveTree(const std::string& path) {
  std::wstring wide = WidePath(path);
  while (wide.size() > 3 && wide.back() == L'\\') wide.pop_back();
  return RemoveTreeWide(wide);
}

bool CreateDirectoryChain(const std::string& dir_path) {
  if (dir_path.empty()) return FailWith(kErrorPathNotFound);
  std::wstring full = FullWidePath(WidePath(dir_path));
  // Parents first: every prefix that ends before a '\', after the root.
  for (size_t pos = FirstNameOffset(full); pos <= full.size(); ++pos) {
    if (pos != full.size() && full[pos] != L'\\') continue;
    std::wstring prefix = full.substr(0, pos);
    if (prefix.empty() || prefix.back() == L'\\') continue;
    DWORD attributes = GetFileAttributesW(prefix.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return FailWith(kErrorPathNotFound);
      continue;
    }
    if (!CreateDirectoryW(prefix.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
      return FailWithLastError();
  }
  return true;
}

bool CreateParentDirectories(const std::string& file_path) {
  std::string dir = DirectoryPart(file_path);
  if (dir.empty()) return true;
  return CreateDirectoryChain(dir);
}

bool ListDirectory(const std::string& dir_path, std::vector<DirEntry>* entries) {
  entries->clear();
  std::wstring pattern = WidePath(dir_path);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return FailWithLastError();
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    DirEntry entry;
    // A name code page 949 cannot hold is left out, not given a '?' (two
    // such names would look like one).
    if (!Utf8ToCp949Exact(WideToUtf8(name), &entry.name)) {
      DebugPrintf("[file] %s: left out a name code page 949 cannot hold\n", dir_path.c_str());
      continue;
    }
    entry.attributes = KnownAttributes(found.dwFileAttributes);
    bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    entry.size = folder ? 0 : (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.write = FromNative(found.ftLastWriteTime);
    entries->push_back(std::move(entry));
  } while (FindNextFileW(find, &found));
  bool ended = ::GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  return ended || FailWithLastError();
}

// A folder's entries are file-system metadata, which NTFS journals itself;
// Windows offers no flush of a folder. Done when the folder exists.
bool SyncDirectory(const std::string& dir_path) {
  DWORD attributes = GetFileAttributesW(WidePath(dir_path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailWithLastError();
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) || FailWith(kErrorPathNotFound);
}

// ---- File ----

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

bool File::Open(const std::string& path, int access, Mode mode) {
  Close();
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::kCreateNew: disposition = CREATE_NEW; break;
    case Mode::kCreateAlways: disposition = CREATE_ALWAYS; break;
    case Mode::kOpenExisting: disposition = OPEN_EXISTING; break;
    case Mode::kOpenAlways: disposition = OPEN_ALWAYS; break;
    case Mode::kTruncateExisting: disposition = TRUNCATE_EXISTING; break;
  }
  DWORD desired = 0;
  if (access & kRead) desired |= GENERIC_READ;
  if (access & kWrite) desired |= GENERIC_WRITE;
  HANDLE h = OpenFileHandle(WidePath(path), desired, disposition, (access & kWrite) != 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<NativeHandle>(h);
  return true;
}

void File::Close() {
  if (handle_ != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

int64_t File::Read(void* buffer, size_t length) {
  DWORD n = 0;
  DWORD chunk = length > kMaxIoChunk ? kMaxIoChunk : static_cast<DWORD>(length);
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, chunk, &n, nullptr)) {
    if (::GetLastError() == ERROR_HANDLE_EOF || ::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    FailWithLastError();
    return -1;
  }
  return n;
}

bool File::ReadExact(void* buffer, size_t length) {
  char* p = static_cast<char*>(buffer);
  while (length > 0) {
    int64_t n = Read(p, length);
    if (n < 0) return false;
    if (n == 0) return FailWith(kErrorHandleEof);
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool File::Write(const void* buffer, size_t length) {
  return WriteAllToHandle(reinterpret_cast<HANDLE>(handle_), buffer, length, nullptr);
}

int64_t File::ReadAt(void* buffer, size_t length, uint64_t offset) {
  return ReadHandleAt(reinterpret_cast<HANDLE>(handle_), buffer, length, offset);
}

bool File::WriteAt(const void* buffer, size_t length, uint64_t offset) {
  return WriteHandleAt(reinterpret_cast<HANDLE>(handle_), buffer, length, offset);
}

bool File::Seek(uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), to, nullptr, FILE_BEGIN) != 0 ||
         FailWithLastError();
}

bool File::SeekToEnd() {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), zero, nullptr, FILE_END) != 0 ||
         FailWithLastError();
}

int64_t File::Position() const {
  LARGE_INTEGER zero{}, at{};
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), zero, &at, FILE_CURRENT)) {
    FailWithLastError();
    return -1;
  }
  return at.QuadPart;
}

int64_t File::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) {
    FailWithLastError();
    return -1;
  }
  return size.QuadPart;
}

bool File::Truncate(uint64_t size) { return SetHandleSize(reinterpret_cast<HANDLE>(handle_), size); }

bool File::Sync() {
  return FlushFileBuffers(reinterpret_cast<HANDLE>(handle_)) != 0 || FailWithLastError();
}

bool File::GetTimes(FileTime* creation, FileTime* access, FileTime* write) const {
  FILETIME c, a, w;
  if (!GetFileTime(reinterpret_cast<HANDLE>(handle_), &c, &a, &w)) return FailWithLastError();
  if (creation) *creation = FromNative(c);
  if (access) *access = FromNative(a);
  if (write) *write = FromNative(w);
  return true;
}

bool File::SetTimes(const FileTime* creation, const FileTime* access, const FileTime* write) {
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  FILETIME c, a, w;
  if (creation) c = ToNative(*creation);
  if (access) a = ToNative(*access);
  if (write) w = ToNative(*write);
  if (SetFileTime(h, creation ? &c : nullptr, access ? &a : nullptr, write ? &w : nullptr)) return true;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return FailWithLastError();
  // A handle opened for reading may not change times; as on POSIX, the
  // owner may still: a second handle to the same file that may.
  HANDLE times = ReOpenFile(h, FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (times == INVALID_HANDLE_VALUE) return FailWithLastError();
  bool ok = SetHandleTimes(times, creation, access, write);
  CloseHandle(times);
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  File f;
  if (!f.Open(path, File::kRead, File::Mode::kOpenExisting)) return false;
  int64_t size = f.Size();
  if (size < 0) return false;
  content->resize(static_cast<size_t>(size));
  int64_t n = f.ReadAt(content->data(), content->size(), 0);
  if (n < 0) return false;
  content->resize(static_cast<size_t>(n));
  return true;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t length) {
  File f;
  if (!f.Open(path, File::kWrite, File::Mode::kCreateAlways)) return false;
  return f.Write(data, length);
}

}  // namespace platform
