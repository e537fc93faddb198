// The program's resource table.
#include "platform/resource.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/gui/module_resources.h"
#include "platform/common/gui/resource_readers.h"
#include "platform/window.h"

namespace platform {

namespace {

struct Table {
  std::mutex lock;
  std::map<std::pair<int, int32_t>, std::pair<const uint8_t*, size_t>> binary;
  std::vector<std::pair<const uint8_t*, size_t>> images;  // compiled resource files
};

// Built on first use: registrations run from static constructors of other
// translation units, in no fixed order.
Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

}  // namespace

void RegisterResource(ResourceType type, int32_t id, const uint8_t* data, size_t size) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  t.binary[{static_cast<int>(type), id}] = {data, size};
}

void RegisterResourceImage(const uint8_t* data, size_t size) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  t.images.emplace_back(data, size);
}

bool FindBuiltinResource(ResourceType type, int32_t id, const uint8_t** data, size_t* size) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.binary.find({static_cast<int>(type), id});
  if (it != t.binary.end()) {
    *data = it->second.first;
    *size = it->second.second;
    return true;
  }
  // Images hold dialogs and strings only: their bitmaps and icons are in
  // the compiler's split form, which nothing here asks for.
  if ((type == ResourceType::kDialog || type == ResourceType::kStringBlock) && id >= 0 && id <= 0xFFFF) {
    uint16_t res_type = type == ResourceType::kDialog ? kResTypeDialog : kResTypeString;
    for (const auto& [image, image_size] : t.images)
      if (FindInResFile(image, image_size, res_type, static_cast<uint16_t>(id), data, size)) return true;
  }
  return FindModuleResource(type, id, data, size);
}

Bitmap LoadBitmapResource(int32_t id) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!FindBuiltinResource(ResourceType::kBitmap, id, &data, &size)) return {};
  return DecodeBmp(data, size);
}

Icon LoadIconResource(int32_t id, int32_t size) {
  const uint8_t* data = nullptr;
  size_t bytes = 0;
  if (!FindBuiltinResource(ResourceType::kIcon, id, &data, &bytes)) return {};
  return Icon::Decode(data, bytes, size);
}

bool LoadDialogResource(int32_t id, DialogTemplate* out) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  return FindBuiltinResource(ResourceType::kDialog, id, &data, &size) && ReadDialogTemplate(data, size, out);
}

std::string LoadStringResource(int32_t id) {
  if (id < 0 || id > 0xFFFF) return {};
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::u16string text;
  if (!FindBuiltinResource(ResourceType::kStringBlock, id / 16 + 1, &data, &size) ||
      !ReadStringFromBlock(data, size, id % 16, &text))
    return {};
  return Utf16ToCp949(text);
}

}  // namespace platform
