// Resources built into the program: bitmaps, icons and strings by number.
// Binary resources are embedded by the CMake function kivro_embed_resources
// (platform/gui.cmake), which registers them before main runs, or on
// Windows puts them in the program's resource section; strings are
// registered by the program's own code.
//
// Thread safety: registration happens before main (or on one thread at
// start-up); look-ups may come from any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gdi.h"

namespace platform {

enum class ResourceType { kBitmap, kIcon };

// Registers `size` bytes at `data` (not copied: the data lives as long as
// the program) under (type, id). A later registration of the same id wins.
void RegisterResource(ResourceType type, int32_t id, const uint8_t* data, size_t size);
bool FindBuiltinResource(ResourceType type, int32_t id, const uint8_t** data, size_t* size);

// The decoded bitmap resource `id`; null when missing or not a BMP.
Bitmap LoadBitmapResource(int32_t id);
// The icon resource `id` in the size closest to `size` pixels.
Icon LoadIconResource(int32_t id, int32_t size);

// String table (texts in code page 949). LoadStringResource gives "" when missing.
void RegisterString(int32_t id, const std::string& text);
std::string LoadStringResource(int32_t id);

}  // namespace platform
