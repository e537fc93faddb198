// The plug-in's type library, its registration and IDispatch over it.
//
// Where the system keeps type libraries (Windows), the library is the one
// compiled from KIVROPlugin.idl, kept in the plug-in file as resource
// "TYPELIB" 1 with the registrar scripts beside it in the resource section,
// and IDispatch is the system's, through its type information
// (plugin_type_library_system.cpp). Elsewhere the library is the project's
// own description, KIVROPlugin.typelib, compiled into the plug-in with the
// registrar scripts (plugin_type_library.cpp).
#pragma once
#include <string>

#include "platform/com.h"
#include "plugin/kivro_plugin_interface.h"

namespace kivro::plugin {

constexpr unsigned kApplicationScriptId = 101;
constexpr unsigned kClassScriptId = 103;

// Registers the library kept in the plug-in file `module_path` (or the
// ".tlb" beside it), the file's folder as help folder.
HRESULT RegisterPluginTypeLibrary(const std::string& module_path);
// Removes that registration (LIBID, version, locale and platform from the
// library itself).
HRESULT UnregisterPluginTypeLibrary(const std::string& module_path);

// IDispatch of IKIVROPlugin, for the object `self`.
HRESULT PluginGetTypeInfo(UINT index, ITypeInfo** info);
HRESULT PluginGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
HRESULT PluginInvoke(IKIVROPlugin* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception, UINT* arg_error);

// Where modules have no resource section (POSIX): the bytes of resource
// (type, id) compiled into the plug-in; false when there is none.
bool FindPluginResource(const char* type, unsigned id, const char** data, unsigned* size);

}  // namespace kivro::plugin
