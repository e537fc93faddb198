#include "plugin/plugin_type_library.h"

#include <cstring>
#include <string>

#include "plugin/kivro_plugin_interface.h"

// Generated from KIVROPlugin.typelib, KIVROPluginApp.rgs and KIVROPlugin.rgs.
extern const unsigned char kivro_plugin_typelib[];
extern const unsigned kivro_plugin_typelib_size;
extern const unsigned char kivro_plugin_app_rgs[];
extern const unsigned kivro_plugin_app_rgs_size;
extern const unsigned char kivro_plugin_class_rgs[];
extern const unsigned kivro_plugin_class_rgs_size;

namespace kivro::plugin {

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

const platform::InterfaceDescription* PluginInterfaceDescription() {
  static const platform::TypeLibraryDescription* library = [] {
    auto* lib = new platform::TypeLibraryDescription;
    if (!platform::ParseTypeLibrary(std::string(reinterpret_cast<const char*>(kivro_plugin_typelib), kivro_plugin_typelib_size),
                                    lib, nullptr)) {
      delete lib;
      return static_cast<platform::TypeLibraryDescription*>(nullptr);
    }
    return lib;
  }();
  return library != nullptr ? library->FindInterface(IID_IKIVROPlugin) : nullptr;
}

}  // namespace kivro::plugin
