#include "platform/system_info.h"

#include <windows.h>
#include <ddraw.h>

#include <cpuid.h>
#include <x86intrin.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// IID_IDirectDraw2, the first DirectDraw interface that reports video memory.
const GUID kIidDirectDraw2 = {0xB3A6F3E0, 0x2B43, 0x11CF, {0xA2, 0xDE, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

}  // namespace

bool ExecuteCpuid(uint32_t leaf, CpuidRegisters* out) {
  // Every processor Windows runs on here (x86, x86-64) has CPUID.
  __cpuid_count(leaf, 0, out->eax, out->ebx, out->ecx, out->edx);
  return true;
}

uint64_t ReadTimeStamp() { return __rdtsc(); }

void GetScreenSize(int* width, int* height) {
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
}

bool GetMemoryStatus(MemoryStatus* status) {
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  if (!GlobalMemoryStatusEx(&memory)) return FailWithLastError();
  status->total_physical = memory.ullTotalPhys;
  status->available_physical = memory.ullAvailPhys;
  return true;
}

// DirectDraw of the primary display, loaded only for this question (a
// machine without it answers false).
bool GetDirectDrawVideoMemory(uint64_t* bytes) {
  *bytes = 0;
  HMODULE ddraw = LoadLibraryExW(L"ddraw.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (ddraw == nullptr) return FailWith(kErrorNotSupported);
  auto create = reinterpret_cast<DirectDrawCreateFunction>(
      reinterpret_cast<void*>(GetProcAddress(ddraw, "DirectDrawCreate")));
  bool ok = false;
  IDirectDraw* draw = nullptr;
  if (create != nullptr && SUCCEEDED(create(nullptr, &draw, nullptr)) && draw != nullptr) {
    IDirectDraw2* draw2 = nullptr;
    if (SUCCEEDED(draw->QueryInterface(kIidDirectDraw2, reinterpret_cast<void**>(&draw2)))) {
      DDSCAPS caps{};
      caps.dwCaps = DDSCAPS_VIDEOMEMORY;
      DWORD total = 0, free_bytes = 0;
      if (SUCCEEDED(draw2->GetAvailableVidMem(&caps, &total, &free_bytes))) {
        *bytes = total;
        ok = true;
      }
      draw2->Release();
    }
    draw->Release();
  }
  FreeLibrary(ddraw);
  return ok || FailWith(kErrorNotSupported);
}

// The true version from the kernel (RtlGetVersion): GetVersionEx answers
// what the program's manifest claims to support, not what runs.
bool GetWindowsVersion(WindowsVersionRecord* record) {
  const uint32_t size = record->size;
  *record = WindowsVersionRecord();
  record->size = size;
  if (size != kVersionRecordExtendedSize && size != kVersionRecordBasicSize)
    return FailWith(kErrorInsufficientBuffer);  // as GetVersionEx answers a wrong size
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto rtl_get_version = ntdll ? reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(
                                     GetProcAddress(ntdll, "RtlGetVersion")))
                               : nullptr;
  if (rtl_get_version == nullptr || rtl_get_version(&info) != 0) return FailWith(kErrorNotSupported);
  record->major = info.dwMajorVersion;
  record->minor = info.dwMinorVersion;
  record->build = info.dwBuildNumber;
  record->platform_id = info.dwPlatformId;
  std::string service_pack = WideToCp949(info.szCSDVersion);
  std::memcpy(record->service_pack, service_pack.data(),
              std::min(service_pack.size(), sizeof record->service_pack - 1));
  if (size == kVersionRecordExtendedSize) {
    record->service_pack_major = info.wServicePackMajor;
    record->service_pack_minor = info.wServicePackMinor;
    record->suite_mask = info.wSuiteMask;
    record->product_type = info.wProductType;
  }
  return true;
}

}  // namespace platform
