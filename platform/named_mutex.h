// Named mutexes with the open-existing semantics of Windows: a mutex of a
// name exists while some process holds a handle to it (the process that
// created it, or any that opened it); when the last one closes it or ends,
// the name is free again. Only existence is offered: nothing here waits on
// or owns a mutex. Names are compared as written. Not shared between threads.
#pragma once
#include <string>

#include "platform/handle.h"

namespace platform {

class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex();  // closes
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // CreateMutex: opens the mutex of that name or creates it. An empty name
  // makes an unnamed mutex nobody else can open.
  bool Create(const std::string& name, bool* already_existed = nullptr);
  // OpenMutex: succeeds only when a mutex of that name exists; false with
  // kErrorFileNotFound otherwise (an empty name never exists).
  bool OpenExisting(const std::string& name);
  void Close();
  bool IsOpen() const { return open_; }

 private:
  NativeHandle handle_ = kNoHandle;
  std::string path_;
  bool open_ = false;
};

}  // namespace platform
