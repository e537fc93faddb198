#include "platform/testing/png_file.h"

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace platform::testing_support {

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

// Length, type, data and the CRC of type and data.
void Chunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  Put32(out, static_cast<uint32_t>(crc32(0, out->data() + start, static_cast<uInt>(out->size() - start))));
}

}  // namespace

bool WriteRgbPng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb,
                 const std::string& path) {
  if (width == 0 || height == 0 || rgb.size() != size_t(width) * height * 3) return false;
  std::vector<uint8_t> raw;
  raw.reserve((size_t(width) * 3 + 1) * height);
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    const uint8_t* row = rgb.data() + size_t(y) * width * 3;
    raw.insert(raw.end(), row, row + size_t(width) * 3);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  packed.resize(packed_size);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(&header, width);
  Put32(&header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  Chunk(&png, "IHDR", header);
  Chunk(&png, "IDAT", packed);
  Chunk(&png, "IEND", {});
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  ok = std::fclose(f) == 0 && ok;
  std::error_code ec;  // std::filesystem's rename replaces an older file on Windows too
  if (ok) std::filesystem::rename(tmp, path, ec);
  return ok && !ec;
}

}  // namespace platform::testing_support
