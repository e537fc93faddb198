// The plug-in's exports as a Windows module: the entry points with the
// system's own declarations (STDAPI); KIVROPlugin.def exports them by their
// plain names. The resources are in the module's resource section.
#include "platform/com.h"
#include "plugin/kivro_plugin_module.h"

STDAPI DllRegisterServer() { return kivro::plugin::RegisterServer(); }

STDAPI DllUnregisterServer() { return kivro::plugin::UnregisterServer(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return kivro::plugin::GetClassObject(&clsid, &iid, object);
}

STDAPI DllCanUnloadNow() { return kivro::plugin::CanUnloadNow(); }
