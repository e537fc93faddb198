// BMP and .ico files from the pieces a resource section holds them in
// (Windows backend only).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A BMP file from a BITMAP resource (a DIB: header, colour table, pixels).
// Empty when the header is not one of a DIB.
std::vector<uint8_t> BmpFileFromDib(const uint8_t* dib, size_t size);

// An .ico file from an RT_GROUP_ICON directory; `image` gives the RT_ICON
// data of an id. Empty when the directory is malformed or an image missing.
std::vector<uint8_t> IcoFileFromGroup(const uint8_t* group, size_t size,
                                      bool (*image)(uint16_t id, const uint8_t** data, size_t* size));

}  // namespace platform
