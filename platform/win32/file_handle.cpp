#include "platform/win32/file_handle.h"

#include "platform/win32/win_error.h"

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

DWORD Chunk(size_t left) { return left > kMaxIoChunk ? kMaxIoChunk : static_cast<DWORD>(left); }

// ReadFile and WriteFile with an offset move a synchronous handle's
// position; these keep it where it was.
class KeepPosition {
 public:
  explicit KeepPosition(HANDLE h) : h_(h) {
    LARGE_INTEGER zero{};
    saved_ = SetFilePointerEx(h, zero, &at_, FILE_CURRENT) != 0;
  }
  ~KeepPosition() {
    if (saved_) SetFilePointerEx(h_, at_, nullptr, FILE_BEGIN);
  }
  KeepPosition(const KeepPosition&) = delete;
  KeepPosition& operator=(const KeepPosition&) = delete;

 private:
  HANDLE h_;
  LARGE_INTEGER at_{};
  bool saved_ = false;
};

}  // namespace

HANDLE OpenFileHandle(const std::wstring& path, DWORD desired_access, DWORD disposition, bool writing) {
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (writing) {
    if (IsLink(GetFileAttributesW(path.c_str()))) {
      FailWith(kErrorAccessDenied);
      return INVALID_HANDLE_VALUE;
    }
    // Should a link appear meanwhile, the open takes the link itself.
    flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  }
  HANDLE h = CreateFileW(path.c_str(), desired_access, kShareAll, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    FailWithLastError();
    return h;
  }
  if (writing) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info) && IsLink(info.dwFileAttributes)) {
      CloseHandle(h);
      FailWith(kErrorAccessDenied);
      return INVALID_HANDLE_VALUE;
    }
  }
  return h;
}

bool WriteAllToHandle(HANDLE h, const void* data, size_t length, size_t* written) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    DWORD n = 0;
    if (!WriteFile(h, p + done, Chunk(length - done), &n, nullptr)) {
      if (written) *written = done;
      return FailWithLastError();
    }
    done += n;
  }
  if (written) *written = done;
  return true;
}

int64_t ReadHandleAt(HANDLE h, void* buffer, size_t length, uint64_t offset) {
  KeepPosition keep(h);
  char* p = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < length) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    if (!ReadFile(h, p + done, Chunk(length - done), &n, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      FailWithLastError();
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return static_cast<int64_t>(done);
}

bool WriteHandleAt(HANDLE h, const void* data, size_t length, uint64_t offset) {
  KeepPosition keep(h);
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    if (!WriteFile(h, p + done, Chunk(length - done), &n, &at)) return FailWithLastError();
    done += n;
  }
  return true;
}

bool SetHandleSize(HANDLE h, uint64_t size) {
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end) != 0 ||
         FailWithLastError();
}

}  // namespace platform
