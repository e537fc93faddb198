// The plug-in's type library where the system keeps type libraries: the one
// compiled from KIVROPlugin.idl in the plug-in file's resources, registered
// with the system, and IDispatch through its type information. The system
// calls the members through the object's entries, in the library's order.
#include <mutex>

#include "platform/com_type_info.h"
#include "platform/paths.h"
#include "plugin/kivro_plugin_module.h"
#include "plugin/plugin_type_library.h"

namespace kivro::plugin {

namespace {

const platform::InterfaceTypeInfo& TypeInfo() {
  static platform::InterfaceTypeInfo info;
  static std::once_flag once;
  std::call_once(once, [] { info.Load(PluginModulePath(), IID_IKIVROPlugin); });
  return info;
}

}  // namespace

HRESULT RegisterPluginTypeLibrary(const std::string& module_path) {
  return platform::RegisterModuleTypeLibrary(module_path, platform::DirectoryPart(module_path));
}

HRESULT UnregisterPluginTypeLibrary(const std::string& module_path) {
  return platform::UnregisterModuleTypeLibrary(module_path);
}

HRESULT PluginGetTypeInfo(UINT index, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return TypeInfo().Get(info);
}

HRESULT PluginGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
  return TypeInfo().GetIDsOfNames(names, count, ids);
}

HRESULT PluginInvoke(IKIVROPlugin* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception, UINT* arg_error) {
  return TypeInfo().Invoke(self, id, flags, params, result, exception, arg_error);
}

}  // namespace kivro::plugin
