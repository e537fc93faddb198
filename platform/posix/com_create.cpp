// Object creation through the registry. Loaded modules are kept for the life
// of the process: objects they made may still be in use, and nothing here
// frees unused libraries.
#include "platform/com_create.h"


#include <map>
#include <memory>
#include <mutex>

#include "platform/codepage.h"
#include "platform/dynlib.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/registry.h"

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

}  // namespace

// No apartments here: every thread can create objects.
ComApartment::ComApartment() = default;
ComApartment::~ComApartment() = default;

bool ReadModuleResource(const std::string& module_path, const char* type, uint32_t id,
                        std::string* bytes) {
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
  std::string text, current;
  if (progid.empty() || progid.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
  if (RegistryGetString(RegistryRoot::kClassesRoot, progid + "\\CLSID", "", &text) &&
      GuidFromString(text, clsid)) {
    return S_OK;
  }
  // A version-independent ProgID may only name its current version.
  if (RegistryGetString(RegistryRoot::kClassesRoot, progid + "\\CurVer", "", &current) &&
      !EqualsNoCase(current, progid) && current.find('\\') == std::string::npos &&
      RegistryGetString(RegistryRoot::kClassesRoot, current + "\\CLSID", "", &text) &&
      GuidFromString(text, clsid)) {
    return S_OK;
  }
  return CO_E_CLASSSTRING;
}

HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  std::string module_path;
  if (!RegistryGetString(RegistryRoot::kClassesRoot,
                         "CLSID\\" + GuidToString(clsid) + "\\InprocServer32", "", &module_path) ||
      module_path.empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  DynamicLibrary* module = LoadModule(module_path);
  if (module == nullptr) return LastErrorHresult(kErrorModNotFound);
  auto get_class_object =
      reinterpret_cast<DllGetClassObjectFunction>(module->Find("DllGetClassObject"));
  if (get_class_object == nullptr) return LastErrorHresult(kErrorProcNotFound);
  IClassFactory* factory = nullptr;
  HRESULT hr = get_class_object(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (Failed(hr)) return hr;
  if (factory == nullptr) return E_UNEXPECTED;
  hr = factory->CreateInstance(outer, iid, object);
  factory->Release();
  return hr;
}

HRESULT CreateInstanceByProgId(const std::string& progid, IUnknown* outer, const IID& iid,
                               void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  CLSID clsid;
  HRESULT hr = ClsidFromProgId(progid, &clsid);
  if (Failed(hr)) return hr;
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
