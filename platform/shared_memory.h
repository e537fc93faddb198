// Named shared memory, as a page-file-backed section of Windows: processes
// that open the same name see the same bytes. A section lives while some
// process holds it open; opening a name nobody holds creates a new section
// filled with zeros. Names are compared as written (case matters).
// Not shared between threads.
#pragma once
#include <cstddef>
#include <string>

#include "platform/handle.h"

namespace platform {

class SharedMemory {
 public:
  SharedMemory() = default;
  ~SharedMemory();  // unmaps and closes
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Opens the section of that name, or creates it with `size` zero bytes
  // (an existing smaller one is grown with zeros). False, with the last
  // system error set, when it can be neither; an empty name is refused.
  bool CreateOrOpen(const std::string& name, size_t size);
  // Whether CreateOrOpen found the section already held by someone.
  bool AlreadyExisted() const { return existed_; }
  // A read/write view of the whole section (`size` bytes); null on failure.
  void* Map();
  void Unmap();
  void Close();
  bool IsOpen() const { return handle_ != kNoHandle; }

 private:
  NativeHandle handle_ = kNoHandle;
  std::string path_;
  size_t size_ = 0;
  void* view_ = nullptr;
  bool existed_ = false;
};

}  // namespace platform
