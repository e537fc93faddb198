// The plug-in's type library where the system keeps none: the project's own
// description, compiled in with the registrar scripts, and IDispatch over it.
#include "plugin/plugin_type_library.h"

#include <cstring>
#include <string>

#include "platform/com_dispatch.h"
#include "platform/com_typelib.h"
#include "platform/paths.h"

// Generated from KIVROPlugin.typelib, KIVROPluginApp.rgs and KIVROPlugin.rgs.
extern const unsigned char kivro_plugin_typelib[];
extern const unsigned kivro_plugin_typelib_size;
extern const unsigned char kivro_plugin_app_rgs[];
extern const unsigned kivro_plugin_app_rgs_size;
extern const unsigned char kivro_plugin_class_rgs[];
extern const unsigned kivro_plugin_class_rgs_size;

namespace kivro::plugin {

namespace {

// IKIVROPlugin as the description has it, parsed once; null only if the
// built-in description failed to parse.
const platform::InterfaceDescription* PluginInterfaceDescription() {
  static const platform::TypeLibraryDescription* library = [] {
    auto* lib = new platform::TypeLibraryDescription;
    if (!platform::ParseTypeLibrary(std::string(reinterpret_cast<const char*>(kivro_plugin_typelib),
                                                kivro_plugin_typelib_size),
                                    lib, nullptr)) {
      delete lib;
      return static_cast<platform::TypeLibraryDescription*>(nullptr);
    }
    return lib;
  }();
  return library != nullptr ? library->FindInterface(IID_IKIVROPlugin) : nullptr;
}

}  // namespace

bool FindPluginResource(const char* type, unsigned id, const char** data, unsigned* size) {
  if (type == nullptr) return false;
  if (std::strcmp(type, "TYPELIB") == 0 && id == 1) {
    *data = reinterpret_cast<const char*>(kivro_plugin_typelib);
    *size = kivro_plugin_typelib_size;
    return true;
  }
  if (std::strcmp(type, "REGISTRY") == 0 && id == kApplicationScriptId) {
    *data = reinterpret_cast<const char*>(kivro_plugin_app_rgs);
    *size = kivro_plugin_app_rgs_size;
    return true;
  }
  if (std::strcmp(type, "REGISTRY") == 0 && id == kClassScriptId) {
    *data = reinterpret_cast<const char*>(kivro_plugin_class_rgs);
    *size = kivro_plugin_class_rgs_size;
    return true;
  }
  return false;
}

HRESULT RegisterPluginTypeLibrary(const std::string& module_path) {
  platform::TypeLibraryDescription library;
  HRESULT hr = platform::LoadTypeLibraryFromModule(module_path, &library);
  if (platform::Failed(hr)) return hr;
  return platform::RegisterTypeLibrary(library, module_path, platform::DirectoryPart(module_path));
}

HRESULT UnregisterPluginTypeLibrary(const std::string& module_path) {
  platform::TypeLibraryDescription library;
  HRESULT hr = platform::LoadTypeLibraryFromModule(module_path, &library);
  if (platform::Failed(hr)) return hr;
  return platform::UnregisterTypeLibrary(library.libid, library.major, library.minor, library.lcid,
                                         library.syskind);
}

// Script hosts bind by name (GetIDsOfNames) and call Invoke; no ITypeInfo
// object is handed out here.
HRESULT PluginGetTypeInfo(UINT index, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return index == 0 ? E_NOTIMPL : DISP_E_BADINDEX;
}

HRESULT PluginGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
  const auto* description = PluginInterfaceDescription();
  if (description == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return platform::DispatchGetIDsOfNames(*description, names, count, ids);
}

HRESULT PluginInvoke(IKIVROPlugin* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO*, UINT* arg_error) {
  const auto* description = PluginInterfaceDescription();
  if (description == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return platform::DispatchInvoke(*description, id, flags, params, result, arg_error,
                                  [self](const platform::MemberDescription& m,
                                         const std::vector<BSTR>& in, BSTR* out) -> HRESULT {
                                    switch (m.id) {
                                      case 1:
                                        return self->zms_chkDown();
                                      case 2:
                                        return self->zms_chkLauncher();
                                      case 3:
                                        return self->zms_startGame(in[0]);
                                      case 4:
                                        return self->zms_startNotify(in[0]);
                                      case 5:
                                        return self->SearchZelmora();
                                      case 6:
                                        return m.kind == platform::MemberKind::kPropertyGet
                                                   ? self->get_CurGameInfo(out)
                                                   : self->put_CurGameInfo(in[0]);
                                      case 7:
                                        return self->zms_chkMutex(in[0], out);
                                    }
                                    return DISP_E_MEMBERNOTFOUND;
                                  });
}

}  // namespace kivro::plugin
