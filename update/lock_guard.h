// CLock: scoped guard over a re-entrant critical section.
#pragma once
#include "platform/thread.h"

namespace kivro {

class CLock {
 public:
  // Throws the text "CLock Constructer NULL Pointer" (a const char*) when
  // there is no critical section: the one thrown object of the system.
  explicit CLock(platform::CriticalSection* section) : section_(section) {
    if (section_ == nullptr) throw "CLock Constructer NULL Pointer";
    section_->Enter();
  }
  ~CLock() { section_->Leave(); }
  CLock(const CLock&) = delete;
  CLock& operator=(const CLock&) = delete;

 private:
  platform::CriticalSection* section_;
};

}  // namespace kivro
