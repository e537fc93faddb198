// Windows keeps no permission bits: execute bits change nothing, and the
// bits reported are those the C runtime's stat makes up (as a zip tool on
// Windows stores them): read for all, write unless read-only, execute for
// folders and for programs by their extension.
#include "platform/file_mode.h"

#include <windows.h>

#include "platform/codepage.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

bool IsProgramName(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find_first_of("\\/", dot) != std::string::npos) return false;
  std::string extension = ToLowerAscii(path.substr(dot));
  return extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".cmd";
}

}  // namespace

bool AddExecuteBits(const std::string& path, uint32_t posix_mode) {
  if ((posix_mode & 0111) == 0) return true;
  return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES || FailWithLastError();
}

bool GetPermissionBits(const std::string& path, uint32_t* posix_mode) {
  DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailWithLastError();
  uint32_t mode = 0444;
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) mode |= 0222;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || IsProgramName(path)) mode |= 0111;
  *posix_mode = mode;
  return true;
}

bool KeepsExecuteBits() { return false; }

}  // namespace platform
