#include "platform/system_info.h"

#include <X11/Xlib.h>
#include <sys/sysinfo.h>

#include <cstdlib>
#include <cstring>

#include "platform/error.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#define KIVRO_HAS_CPUID 1
#endif

namespace platform {

bool ExecuteCpuid(uint32_t leaf, CpuidRegisters* out) {
#ifdef KIVRO_HAS_CPUID
  // Every x86-64 processor has CPUID, so there is no fault to catch.
  __cpuid_count(leaf, 0, out->eax, out->ebx, out->ecx, out->edx);
  return true;
#else
  (void)leaf;
  *out = CpuidRegisters();
  SetLastSystemError(kErrorNotSupported);
  return false;
#endif
}

uint64_t ReadTimeStamp() {
#ifdef KIVRO_HAS_CPUID
  return __rdtsc();
#else
  return 0;
#endif
}

void GetScreenSize(int* width, int* height) {
  *width = 0;
  *height = 0;
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return;  // headless: no screen
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return;
  int screen = DefaultScreen(display);
  *width = DisplayWidth(display, screen);
  *height = DisplayHeight(display, screen);
  XCloseDisplay(display);
}

bool GetMemoryStatus(MemoryStatus* status) {
  struct sysinfo info;
  if (sysinfo(&info) != 0) {
    SetLastSystemError(kErrorNotSupported);
    return false;
  }
  const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
  status->total_physical = uint64_t(info.totalram) * unit;
  status->available_physical = uint64_t(info.freeram + info.bufferram) * unit;
  return true;
}

bool GetDirectDrawVideoMemory(uint64_t* bytes) {
  *bytes = 0;
  SetLastSystemError(kErrorNotSupported);
  return false;
}

bool GetWindowsVersion(WindowsVersionRecord* record) {
  const uint32_t size = record->size;
  *record = WindowsVersionRecord();
  record->size = size;
  SetLastSystemError(kErrorNotSupported);
  return false;
}

}  // namespace platform
