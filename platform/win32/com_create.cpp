// Object creation through the system's COM: the registry lookups, module
// loading and class objects are Windows' own (CLSIDFromProgID,
// CoCreateInstance); a thread creates objects once it entered an apartment
// (ComApartment). Modules loaded here for their resources or entry points
// stay loaded for the life of the process, as on the other backend.
#include "platform/com_create.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

#include "platform/codepage.h"
#include "platform/dynlib.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

std::mutex g_modules_lock;

std::map<std::string, std::unique_ptr<DynamicLibrary>>& Modules() {
  static auto* modules = new std::map<std::string, std::unique_ptr<DynamicLibrary>>();
  return *modules;
}

// The loaded module, or null with the last system error set.
DynamicLibrary* LoadModule(const std::string& path) {
  std::lock_guard<std::mutex> guard(g_modules_lock);
  auto& slot = Modules()[ToLowerAscii(path)];
  if (!slot) {
    auto library = std::make_unique<DynamicLibrary>();
    if (!library->Load(path)) {
      Modules().erase(ToLowerAscii(path));
      return nullptr;
    }
    slot = std::move(library);
  }
  return slot.get();
}

HRESULT LastErrorHresult(int32_t fallback) {
  int32_t e = GetLastSystemError();
  return HresultFromSystemError(e == 0 ? fallback : e);
}

// The resource from the module's resource section, read without running
// any of its code (the module is mapped as data only).
bool ReadResourceSection(const std::string& module_path, const char* type, uint32_t id,
                         std::string* bytes) {
  std::wstring path = FullWidePath(WidePath(module_path));
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return false;
  bool found = false;
  std::wstring type_name = Cp949ToWide(type);
  if (HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), type_name.c_str())) {
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(module, info);
    if (data != nullptr || size == 0) {
      bytes->assign(static_cast<const char*>(data), size);
      found = true;
    }
  }
  FreeLibrary(module);
  return found;
}

}  // namespace

ComApartment::ComApartment() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // S_FALSE: the thread was in a single-threaded apartment already; each
  // successful call is balanced by one CoUninitialize. RPC_E_CHANGED_MODE:
  // it is in the multithreaded apartment, where objects can be made too.
  release_ = SUCCEEDED(hr);
  entered_ = release_ || hr == RPC_E_CHANGED_MODE;
}

ComApartment::~ComApartment() {
  if (release_) CoUninitialize();
}

bool ReadModuleResource(const std::string& module_path, const char* type, uint32_t id,
                        std::string* bytes) {
  if (ReadResourceSection(module_path, type, id, bytes)) return true;
  // A module of ours built without a resource section answers through its
  // export instead.
  DynamicLibrary* module = LoadModule(module_path);
  if (module == nullptr) return false;
  auto find = reinterpret_cast<ModuleResourceFunction>(module->Find(kModuleResourceExport));
  const void* data = nullptr;
  uint32_t size = 0;
  if (find == nullptr || find(type, id, &data, &size) != 1 || (data == nullptr && size != 0)) {
    return false;
  }
  bytes->assign(static_cast<const char*>(data), size);
  return true;
}

HRESULT ClsidFromProgId(const std::string& progid, CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  // A ProgID is one key name; the system would also take a "{CLSID}" text.
  if (progid.empty() || progid.find('\\') != std::string::npos || progid[0] == '{')
    return CO_E_CLASSSTRING;
  if (SUCCEEDED(CLSIDFromProgID(Cp949ToWide(progid).c_str(), clsid))) return S_OK;
  // A version-independent ProgID without a CLSID of its own names its
  // current version (CurVer), which the system's lookup does not follow.
  std::string current;
  if (RegistryGetString(RegistryRoot::kClassesRoot, progid + "\\CurVer", "", &current) &&
      !current.empty() && !EqualsNoCase(current, progid) && current.find('\\') == std::string::npos &&
      current[0] != '{' && SUCCEEDED(CLSIDFromProgID(Cp949ToWide(current).c_str(), clsid))) {
    return S_OK;
  }
  // Every failure to find the name is the one code callers know.
  return CO_E_CLASSSTRING;
}

HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return CoCreateInstance(clsid, outer, CLSCTX_INPROC_SERVER, iid, object);
}

HRESULT CreateInstanceByProgId(const std::string& progid, IUnknown* outer, const IID& iid,
                               void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  CLSID clsid;
  HRESULT hr = ClsidFromProgId(progid, &clsid);
  if (FAILED(hr)) return hr;
  return CreateInstance(clsid, outer, iid, object);
}

HRESULT CallModuleEntryPoint(const std::string& module_path, const char* export_name) {
  DynamicLibrary* module = LoadModule(module_path);
  if (module == nullptr) return LastErrorHresult(kErrorModNotFound);
  auto entry = reinterpret_cast<DllRegisterServerFunction>(module->Find(export_name));
  if (entry == nullptr) return LastErrorHresult(kErrorProcNotFound);
  return entry();
}

}  // namespace platform
