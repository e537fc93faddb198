// The Windows view on Windows itself: paths are the machine's own, and the
// folders are those Windows reports. There is no virtual root here.
#include "platform/paths.h"

#include <windows.h>

#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// Calls `fill(buffer, capacity)` (a Win32 "get a path" call that returns the
// length written, or the size needed when the buffer is too small) with a
// growing buffer.
template <typename Fill>
std::wstring GrowingCall(Fill fill) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(std::max<size_t>(n + 1, buffer.size() * 2));
  }
  return std::wstring();
}

std::wstring ModuleFileName() { return ModuleFileNameOf(nullptr); }

std::wstring StripTrailingSeparators(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

// The identity of an existing file or folder: volume and file index.
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}

}  // namespace

// No virtual root on Windows: the machine's drives are the real ones.
std::string VirtualRoot() { return std::string(); }

// The host's path of a Windows path is the path itself, made absolute. Like
// the POSIX backend's host paths it is UTF-8, for the callers that hand it
// to libraries or print it.
std::string ToPosixPath(const std::string& windows_path) {
  if (windows_path.empty()) return std::string();
  std::wstring wide = WidePath(windows_path);
  return WideToUtf8(FullWidePath(wide));
}

std::string ToWindowsPath(const std::string& posix_path) {
  std::wstring wide = Utf8ToWide(posix_path.empty() ? std::string(".") : posix_path);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  return WideToCp949(FullWidePath(wide));
}

std::string WindowsDirectory() {
  std::wstring dir = GrowingCall([](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); });
  return dir.empty() ? std::string("C:\\WINDOWS") : WideToCp949(StripTrailingSeparators(dir));
}

std::string SystemDirectory() {
  std::wstring dir = GrowingCall([](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); });
  return dir.empty() ? WindowsDirectory() + "\\system32" : WideToCp949(StripTrailingSeparators(dir));
}

std::string TempDirectory() {
  std::wstring dir = GrowingCall([](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
  if (dir.empty()) return WindowsDirectory() + "\\Temp\\";
  if (dir.back() != L'\\') dir += L'\\';
  return WideToCp949(dir);
}

std::string CurrentDirectory() {
  std::wstring dir = GrowingCall([](wchar_t* b, DWORD n) { return GetCurrentDirectoryW(n, b); });
  return dir.empty() ? std::string("C:\\") : WideToCp949(dir);
}

bool ChangeCurrentDirectory(const std::string& windows_path) {
  return SetCurrentDirectoryW(WidePath(windows_path).c_str()) != 0 || FailWithLastError();
}

std::string ProgramDirectory() {
  std::wstring exe = ModuleFileName();
  size_t slash = exe.rfind(L'\\');
  if (slash == std::wstring::npos) return CurrentDirectory();
  return WideToCp949(exe.substr(0, slash));
}

std::string ProgramFileName() {
  std::wstring exe = ModuleFileName();
  return WideToCp949(exe.substr(exe.rfind(L'\\') + 1));
}

bool SameFile(const std::string& a, const std::string& b) {
  std::wstring full_a = FullWidePath(WidePath(a));
  std::wstring full_b = FullWidePath(WidePath(b));
  // Existing names: the file system's identity, which also sees through
  // short (8.3) names and links.
  BY_HANDLE_FILE_INFORMATION info_a, info_b;
  if (FileIdentity(full_a, &info_a) && FileIdentity(full_b, &info_b))
    return info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
           info_a.nFileIndexHigh == info_b.nFileIndexHigh &&
           info_a.nFileIndexLow == info_b.nFileIndexLow;
  // Otherwise the names, compared as the file system compares them.
  full_a = StripTrailingSeparators(full_a);
  full_b = StripTrailingSeparators(full_b);
  return CompareStringOrdinal(full_a.c_str(), static_cast<int>(full_a.size()), full_b.c_str(),
                              static_cast<int>(full_b.size()), TRUE) == CSTR_EQUAL;
}

std::string EnvironmentValue(const std::string& name) {
  std::wstring wide_name = Cp949ToWide(name);
  std::wstring value = GrowingCall(
      [&](wchar_t* b, DWORD n) { return GetEnvironmentVariableW(wide_name.c_str(), b, n); });
  return WideToCp949(value);
}

std::string DirectoryPart(const std::string& path) {
  size_t pos = path.rfind('\\');
  if (pos == std::string::npos) pos = path.rfind('/');
  if (pos == std::string::npos) return std::string();
  return path.substr(0, pos);
}

}  // namespace platform
