// The plug-in's exports as a shared object: the entry points with C linkage
// and default visibility (everything else stays hidden), plus the resource
// look-up that stands in for a Windows module's resource section.
#include <cstdint>

#include "platform/com_create.h"
#include "plugin/kivro_plugin_module.h"
#include "plugin/plugin_type_library.h"

#define KIVRO_EXPORT extern "C" __attribute__((visibility("default")))

using namespace kivro::plugin;

KIVRO_EXPORT platform::HRESULT DllRegisterServer() { return RegisterServer(); }

KIVRO_EXPORT platform::HRESULT DllUnregisterServer() { return UnregisterServer(); }

KIVRO_EXPORT platform::HRESULT DllGetClassObject(const platform::CLSID* clsid,
                                                 const platform::IID* iid, void** object) {
  return GetClassObject(clsid, iid, object);
}

KIVRO_EXPORT platform::HRESULT DllCanUnloadNow() { return CanUnloadNow(); }

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
