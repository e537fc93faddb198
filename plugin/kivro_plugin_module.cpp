// The plug-in file's entry points: registration, the class object and the
// unload check, plus the resource look-up that stands in for a Windows
// module's resource section. Nothing is thrown out of them.
#include <mutex>
#include <new>

#include "platform/com_create.h"
#include "platform/com_registrar.h"
#include "platform/com_typelib.h"
#include "platform/paths.h"
#include "plugin/kivro_plugin_interface.h"
#include "plugin/kivro_plugin_object.h"
#include "plugin/plugin_type_library.h"
#include "plugin/url_protocols.h"

#define KIVRO_EXPORT extern "C" __attribute__((visibility("default")))

namespace kivro {

namespace plugin {

using platform::HRESULT;
using platform::IID;

namespace {

template <typename F>
HRESULT Guarded(F body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The class factory: made once, kept for the life of the process, counted
// by nobody (only its LockServer holds the module).
class ClassFactory final : public platform::IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!(iid == platform::IID_IUnknown) && !(iid == platform::IID_IClassFactory)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<platform::IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    return CKIVROPlugin::Create(outer, iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) LockModule();
    else UnlockModule();
    return S_OK;
  }
};

ClassFactory* Factory() {
  static std::once_flag once;
  static ClassFactory* factory = nullptr;
  std::call_once(once, [] { factory = new ClassFactory; });
  return factory;
}

// This file's own path, with every single quote doubled for the scripts.
std::string ModulePath() {
  static const char anchor = 0;
  return platform::ModulePathOf(&anchor);
}

HRESULT RunScript(unsigned id, bool do_register) {
  const char* data = nullptr;
  unsigned size = 0;
  if (!FindPluginResource("REGISTRY", id, &data, &size)) return E_FAIL;
  std::string module = ModulePath();
  if (module.empty()) return E_FAIL;
  return platform::RunRegistrarScript(
      std::string(data, size),
      {{"APPID", kAppId}, {"MODULE", platform::DoubleSingleQuotes(module)}}, do_register);
}

}  // namespace

}  // namespace plugin

using namespace plugin;

KIVRO_EXPORT HRESULT DllRegisterServer() {
  return Guarded([]() -> HRESULT {
    RegisterBothUrlProtocols();
    HRESULT hr = RunScript(kApplicationScriptId, true);
    if (platform::Failed(hr)) return hr;
    hr = RunScript(kClassScriptId, true);
    if (platform::Failed(hr)) return hr;
    std::string module = ModulePath();
    platform::TypeLibraryDescription library;
    hr = platform::LoadTypeLibraryFromModule(module, &library);
    if (platform::Failed(hr)) return hr;
    return platform::RegisterTypeLibrary(library, module, platform::DirectoryPart(module));
  });
}

KIVRO_EXPORT HRESULT DllUnregisterServer() {
  return Guarded([]() -> HRESULT {
    HRESULT hr = RunScript(kClassScriptId, false);
    if (platform::Failed(hr)) return hr;
    platform::TypeLibraryDescription library;
    hr = platform::LoadTypeLibraryFromModule(ModulePath(), &library);
    if (platform::Failed(hr)) return hr;
    hr = platform::UnregisterTypeLibrary(library.libid, library.major, library.minor, library.lcid,
                                         library.syskind);
    if (platform::Failed(hr)) return hr;
    return RunScript(kApplicationScriptId, false);
  });
}

KIVRO_EXPORT HRESULT DllGetClassObject(const platform::CLSID* clsid, const IID* iid,
                                       void** object) {
  return Guarded([&]() -> HRESULT {
    // The protocols come back on every call, whatever is asked.
    RegisterBothUrlProtocols();
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid == nullptr || !(*clsid == CLSID_KIVROPlugin)) {
      return CLASS_E_CLASSNOTAVAILABLE;
    }
    if (iid == nullptr) return E_INVALIDARG;
    return Factory()->QueryInterface(*iid, object);
  });
}

KIVRO_EXPORT HRESULT DllCanUnloadNow() {
  return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

KIVRO_EXPORT int32_t KivroModuleResource(const char* type, uint32_t id, const void** data,
                                         uint32_t* size) {
  if (data == nullptr || size == nullptr) return 0;
  const char* bytes = nullptr;
  unsigned length = 0;
  if (!FindPluginResource(type, id, &bytes, &length)) return 0;
  *data = bytes;
  *size = length;
  return 1;
}

}  // namespace kivro
