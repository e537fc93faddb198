// Resources built into the program: bitmaps, icons, dialog templates and
// strings by number. Bitmaps and icons are embedded by the CMake function
// kivro_embed_resources, dialogs and strings come from a resource script
// (.rc) given to kivro_add_resource_script (both in platform/gui.cmake).
// On Windows they are in the program's resource section; elsewhere they
// are registered before main runs (the script compiled by the resource
// compiler into a .res image).
//
// Thread safety: registration happens before main (or on one thread at
// start-up); look-ups may come from any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gdi.h"

namespace platform {

struct DialogTemplate;

// kDialog: an extended dialog template; kStringBlock: a string-table block
// (strings 16 x (id - 1) to 16 x (id - 1) + 15).
enum class ResourceType { kBitmap, kIcon, kDialog, kStringBlock };

// Registers `size` bytes at `data` (not copied: the data lives as long as
// the program) under (type, id). A later registration of the same id wins.
void RegisterResource(ResourceType type, int32_t id, const uint8_t* data, size_t size);
// Registers a compiled resource file (.res; not copied) whose dialogs and
// string blocks are found as if registered one by one.
void RegisterResourceImage(const uint8_t* data, size_t size);
bool FindBuiltinResource(ResourceType type, int32_t id, const uint8_t** data, size_t* size);

// The decoded bitmap resource `id`; null when missing or not a BMP.
Bitmap LoadBitmapResource(int32_t id);
// The icon resource `id` in the size closest to `size` pixels.
Icon LoadIconResource(int32_t id, int32_t size);

// Dialog template `id` (texts in code page 949, sizes in dialog units);
// false, with `out` untouched, when missing or not readable.
bool LoadDialogResource(int32_t id, DialogTemplate* out);

// String `id` of the string table, in code page 949; "" when missing.
std::string LoadStringResource(int32_t id);

}  // namespace platform
