// The system's window styles for a toolkit window's style bits (Windows
// backend only).
#pragma once
#include <windows.h>

#include <cstdint>

namespace platform {

struct NativeStyle {
  DWORD style = 0;
  DWORD ex_style = 0;
  bool menu = false;  // a pop-up menu: never takes the focus
};

NativeStyle NativeStyleOf(uint32_t toolkit_style, bool owned);

}  // namespace platform
