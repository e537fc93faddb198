// Resources of the program's own module, where the backend's build puts
// them there (Windows: the resource section, from a .rc file that
// kivro_embed_resources writes). The registered table of resource.h is
// asked first.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/resource.h"

namespace platform {

// A bitmap as a whole BMP file, an icon as a whole .ico file; the data
// lives as long as the program. False when the module has no such resource.
bool FindModuleResource(ResourceType type, int32_t id, const uint8_t** data, size_t* size);

}  // namespace platform
