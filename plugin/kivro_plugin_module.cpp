// The plug-in file's entry points: registration, the class object and its
// factory, and the unload check.
#include "plugin/kivro_plugin_module.h"

#include <mutex>
#include <new>

#include "platform/com_create.h"
#include "platform/com_registrar.h"
#include "platform/paths.h"
#include "plugin/kivro_plugin_interface.h"
#include "plugin/kivro_plugin_object.h"
#include "plugin/plugin_type_library.h"
#include "plugin/url_protocols.h"

namespace kivro::plugin {

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

// The class factory: made once and kept for the life of the process. Its
// references are not counted (it is never freed); what holds the module is
// its LockServer, counted with the objects.
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
    if (lock)
      LockModule();
    else
      UnlockModule();
    return S_OK;
  }
};

ClassFactory* Factory() {
  static std::once_flag once;
  static ClassFactory* factory = nullptr;
  std::call_once(once, [] { factory = new ClassFactory; });
  return factory;
}

// Applies (or, for removal, undoes) one of the registrar scripts kept in
// the plug-in file's resources.
HRESULT RunScript(unsigned id, bool do_register) {
  std::string module = PluginModulePath();
  if (module.empty()) return E_FAIL;
  std::string script;
  if (!platform::ReadModuleResource(module, "REGISTRY", id, &script)) return E_FAIL;
  return platform::RunRegistrarScript(
      script, {{"APPID", kAppId}, {"MODULE", platform::DoubleSingleQuotes(module)}}, do_register);
}

}  // namespace

std::string PluginModulePath() {
  static const char anchor = 0;
  return platform::ModulePathOf(&anchor);
}

HRESULT RegisterServer() {
  return Guarded([]() -> HRESULT {
    RegisterBothUrlProtocols();
    HRESULT hr = RunScript(kApplicationScriptId, true);
    if (platform::Failed(hr)) return hr;
    hr = RunScript(kClassScriptId, true);
    if (platform::Failed(hr)) return hr;
    return RegisterPluginTypeLibrary(PluginModulePath());
  });
}

HRESULT UnregisterServer() {
  return Guarded([]() -> HRESULT {
    HRESULT hr = RunScript(kClassScriptId, false);
    if (platform::Failed(hr)) return hr;
    hr = UnregisterPluginTypeLibrary(PluginModulePath());
    if (platform::Failed(hr)) return hr;
    return RunScript(kApplicationScriptId, false);
  });
}

HRESULT GetClassObject(const platform::CLSID* clsid, const IID* iid, void** object) {
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

HRESULT CanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

}  // namespace kivro::plugin
