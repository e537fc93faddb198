// The plug-in's resources: its type library (TYPELIB 1) and its two
// registrar scripts (REGISTRY 101, the application entries, and REGISTRY
// 103, the class entries), built from the files beside this one.
#pragma once
#include <string>

#include "platform/com_typelib.h"

namespace kivro::plugin {

constexpr unsigned kApplicationScriptId = 101;
constexpr unsigned kClassScriptId = 103;

// The bytes of resource (type, id); false when there is none.
bool FindPluginResource(const char* type, unsigned id, const char** data, unsigned* size);

// IKIVROPlugin as the type library describes it, parsed once; null only if
// the built-in library failed to parse.
const platform::InterfaceDescription* PluginInterfaceDescription();

}  // namespace kivro::plugin
