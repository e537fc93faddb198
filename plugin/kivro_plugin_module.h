// The plug-in file's four entry points, as the exported functions of each
// system call them (kivro_plugin_exports*.cpp). Nothing is thrown out of them.
#pragma once
#include <string>

#include "platform/com.h"

namespace kivro::plugin {

HRESULT RegisterServer();
HRESULT UnregisterServer();
HRESULT GetClassObject(const platform::CLSID* clsid, const platform::IID* iid, void** object);
HRESULT CanUnloadNow();

// The plug-in file's own path (the module this code is linked into).
std::string PluginModulePath();

}  // namespace kivro::plugin
