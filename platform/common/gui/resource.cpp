// The program's resource table.
#include "platform/resource.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/common/gui/module_resources.h"

namespace platform {

namespace {

struct Table {
  std::mutex lock;
  std::map<std::pair<int, int32_t>, std::pair<const uint8_t*, size_t>> binary;
  std::map<int32_t, std::string> strings;
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

bool FindBuiltinResource(ResourceType type, int32_t id, const uint8_t** data, size_t* size) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.binary.find({static_cast<int>(type), id});
  if (it == t.binary.end()) return FindModuleResource(type, id, data, size);
  *data = it->second.first;
  *size = it->second.second;
  return true;
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

void RegisterString(int32_t id, const std::string& text) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  t.strings[id] = text;
}

std::string LoadStringResource(int32_t id) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.strings.find(id);
  return it == t.strings.end() ? std::string() : it->second;
}

}  // namespace platform
