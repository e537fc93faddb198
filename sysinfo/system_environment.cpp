// The facilities of this machine for the client report.
#include <cstdlib>

#include "platform/com.h"
#include "platform/com_create.h"
#include "platform/debug.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "sysinfo/client_information.h"

namespace kivro {

DisplaySystem SystemDisplaySystem() {
  DisplaySystem s;
  s.screen_size = [](int* w, int* h) { platform::GetScreenSize(w, h); };
  s.registry = &SystemRegistryReader();
  s.directdraw_video_memory = [](uint64_t* bytes) {
    return platform::GetDirectDrawVideoMemory(bytes);
  };
  // No reader of Windows version resources: a driver file named by the
  // registry gives its date but no version or company name.
  s.read_version_resource = nullptr;
  s.user_default_language = [] { return uint16_t(0x0412); };  // Korean
  s.file_write_time = [](const std::string& path, platform::FileTime* write) {
    platform::FileInfo info;
    if (!platform::GetFileInfo(path, &info)) return false;
    *write = info.write;
    return true;
  };
  s.windows_directory = [] {
    // The "windir" variable, as Windows sets it; our own Windows directory
    // where it is not set.
    std::string windir = platform::EnvironmentValue("windir");
    return !windir.empty() ? windir : platform::WindowsDirectory();
  };
  return s;
}

ClientEnvironment SystemClientEnvironment() {
  ClientEnvironment env;
  env.cpuid = [](uint32_t leaf, CpuidRegisters* out) { return platform::ExecuteCpuid(leaf, out); };
  env.clock = SystemClockCounters();
  env.version = [](platform::WindowsVersionRecord* r) { return platform::GetWindowsVersion(r); };
  env.registry = &SystemRegistryReader();
  env.display = SystemDisplaySystem();
  env.pc_room = SystemPcRoomEnvironment();
  env.memory_status = [](platform::MemoryStatus* s) { return platform::GetMemoryStatus(s); };
  // In-process servers through the registry: ProgID -> CLSID ->
  // InprocServer32 module, inside an apartment of this thread for as long
  // as the object lives.
  env.create_by_progid = [](const std::string& progid) {
    platform::ComApartment apartment;
    if (!apartment.Entered()) return false;
    void* object = nullptr;
    platform::HRESULT hr =
        platform::CreateInstanceByProgId(progid, nullptr, platform::IID_IUnknown, &object);
    if (platform::Failed(hr) || object == nullptr) return false;
    static_cast<platform::IUnknown*>(object)->Release();
    return true;
  };
  env.debug_output = [](const std::string& line) { platform::OutputDebugText(line.c_str()); };
  return env;
}

XmlSupport::XmlSupport()
    : XmlSupport(SystemClientEnvironment().create_by_progid,
                 [](const std::string& line) { platform::OutputDebugText(line.c_str()); }) {}

}  // namespace kivro
