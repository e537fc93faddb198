// Named sections backed by the page file, under the names the system and
// the game client use (a Windows program of the game opens the same name).
#include "platform/shared_memory.h"

#include <windows.h>

#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::CreateOrOpen(const std::string& name, size_t size) {
  Close();
  if (name.empty()) return FailWith(kErrorInvalidName);
  if (size == 0) return FailWith(kErrorInvalidParameter);
  uint64_t wide_size = size;
  HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                static_cast<DWORD>(wide_size >> 32), static_cast<DWORD>(wide_size),
                                Cp949ToWide(name).c_str());
  if (h == nullptr) return FailWithLastError();
  bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  handle_ = reinterpret_cast<NativeHandle>(h);
  size_ = size;
  existed_ = existed;
  if (existed) {
    // A section cannot grow on Windows: one whose pages end before `size`
    // is refused rather than handed out too short.
    void* view = MapViewOfFile(h, FILE_MAP_READ, 0, 0, 0);
    MEMORY_BASIC_INFORMATION region{};
    bool large_enough = view != nullptr && VirtualQuery(view, &region, sizeof region) != 0 &&
                        region.RegionSize >= size;
    if (view != nullptr) UnmapViewOfFile(view);
    if (!large_enough) {
      Close();
      return FailWith(kErrorInvalidParameter);
    }
  }
  return true;
}

void* SharedMemory::Map() {
  if (handle_ == kNoHandle) {
    SetLastSystemError(kErrorInvalidHandle);
    return nullptr;
  }
  if (view_ == nullptr) {
    view_ = MapViewOfFile(reinterpret_cast<HANDLE>(handle_), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size_);
    if (view_ == nullptr) FailWithLastError();
  }
  return view_;
}

void SharedMemory::Unmap() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
}

void SharedMemory::Close() {
  Unmap();
  if (handle_ != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
  size_ = 0;
  existed_ = false;
}

}  // namespace platform
