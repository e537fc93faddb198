// For backends whose programs get their resources registered before main
// (embed_resources.cmake): the module itself holds none.
#include "platform/common/gui/module_resources.h"

namespace platform {

bool FindModuleResource(ResourceType, int32_t, const uint8_t**, size_t*) { return false; }

}  // namespace platform
