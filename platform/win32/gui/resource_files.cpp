// Files put back together from what the resource compiler stores (see
// module_resources.cpp).
#include "platform/win32/gui/resource_files.h"

#include <windows.h>

namespace platform {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

// A BMP file from a DIB (header, colour table, pixels): where the pixels
// start follows from the header's size, its colour count and its masks.
std::vector<uint8_t> BmpFileFromDib(const uint8_t* dib, size_t size) {
  std::vector<uint8_t> file;
  if (size < 12) return file;
  uint32_t header = Le32(dib);
  uint32_t table = 0;
  if (header == 12) {  // the old core header: 3-byte entries
    uint16_t bits = Le16(dib + 10);
    if (bits <= 8) table = (1u << bits) * 3;
  } else if (header >= 40 && header <= size) {
    uint16_t bits = Le16(dib + 14);
    uint32_t compression = Le32(dib + 16);
    uint32_t used = Le32(dib + 32);
    if (used == 0 && bits <= 8) used = 1u << bits;
    if (used > 256) return file;
    table = used * 4;
    // Masks after a plain information header (the later headers hold them).
    if (header == 40 && (compression == BI_BITFIELDS || compression == 6 /* BI_ALPHABITFIELDS */))
      table += compression == BI_BITFIELDS ? 12 : 16;
  } else {
    return file;
  }
  uint64_t offset = 14 + static_cast<uint64_t>(header) + table;
  if (offset > 14 + static_cast<uint64_t>(size)) return file;
  file.reserve(14 + size);
  file.push_back('B');
  file.push_back('M');
  Put32(file, static_cast<uint32_t>(14 + size));
  Put32(file, 0);
  Put32(file, static_cast<uint32_t>(offset));
  file.insert(file.end(), dib, dib + size);
  return file;
}

// An .ico file from a group directory and its images; `image` finds the
// RT_ICON data of an id. Empty when an image is missing.
std::vector<uint8_t> IcoFileFromGroup(const uint8_t* group, size_t size,
                                      bool (*image)(uint16_t id, const uint8_t** data, size_t* size)) {
  std::vector<uint8_t> file;
  if (size < 6 || Le16(group) != 0 || Le16(group + 2) != 1) return file;
  uint16_t count = Le16(group + 4);
  // Entries are 14 bytes: the .ico entry's 12, then the image's id.
  if (count == 0 || size < 6 + static_cast<size_t>(count) * 14) return file;
  std::vector<std::pair<const uint8_t*, size_t>> images;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    if (!image(Le16(group + 6 + i * 14 + 12), &bytes, &length)) return {};
    images.push_back({bytes, length});
  }
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, count);
  uint32_t offset = 6 + count * 16u;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* e = group + 6 + i * 14;
    file.insert(file.end(), e, e + 8);  // width, height, colours, reserved, planes, bits
    Put32(file, static_cast<uint32_t>(images[i].second));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images[i].second);
  }
  for (const auto& [bytes, length] : images) file.insert(file.end(), bytes, bytes + length);
  return file;
}

}  // namespace platform
