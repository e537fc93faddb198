// Facts about the machine for the client information report: the processor
// identification instruction and time-stamp counter, the screen, physical
// memory and the Windows version record.
#pragma once
#include <cstdint>

namespace platform {

struct CpuidRegisters {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};
// Executes CPUID for `leaf` (sub-leaf 0). False where the processor has no
// such instruction (a processor other than x86).
bool ExecuteCpuid(uint32_t leaf, CpuidRegisters* out);

// The time-stamp counter; 0 where the processor has none.
uint64_t ReadTimeStamp();

// The primary screen's size in pixels (GetSystemMetrics SM_CXSCREEN and
// SM_CYSCREEN). POSIX: the default screen of the X display named by DISPLAY;
// 0 x 0 when there is no display.
void GetScreenSize(int* width, int* height);

// GlobalMemoryStatus: physical memory in bytes.
struct MemoryStatus {
  uint64_t total_physical = 0;
  uint64_t available_physical = 0;
};
bool GetMemoryStatus(MemoryStatus* status);

// DirectDraw's total video memory for surfaces in video memory, in bytes.
// POSIX: there is no DirectDraw; false.
bool GetDirectDrawVideoMemory(uint64_t* bytes);

// The extended version record of GetVersionEx (OSVERSIONINFOEX: 156 bytes;
// the basic form, 148 bytes, ends after the service-pack text).
struct WindowsVersionRecord {
  uint32_t size = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platform_id = 0;  // 0 Win32s, 1 Windows 95/98/ME, 2 NT family
  char service_pack[128] = {};
  uint16_t service_pack_major = 0;
  uint16_t service_pack_minor = 0;
  uint16_t suite_mask = 0;
  uint8_t product_type = 0;  // 1 workstation, 2 domain controller, 3 server
  uint8_t reserved = 0;
};
constexpr uint32_t kVersionRecordExtendedSize = 156;
constexpr uint32_t kVersionRecordBasicSize = 148;

// Fills the record in the form its `size` asks for. POSIX: there is no
// Windows version, so it fails (kErrorNotSupported) and a probe reports
// "unknown" rather than an invented Windows.
bool GetWindowsVersion(WindowsVersionRecord* record);

}  // namespace platform
