// Resources from the module's own resource section (FindResourceW,
// LoadResource, LockResource). A bitmap is an RCDATA file kept whole, or a
// BITMAP resource, which the resource compiler stores without its file
// header: the header is put back. An icon is an RCDATA .ico file, or an
// ICON resource, which the compiler splits into a group directory
// (RT_GROUP_ICON) and one RT_ICON per image: the .ico file is put back
// together. Rebuilt files are made once and kept until the program ends, as
// the caller keeps the pointers.
#include <windows.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/common/gui/module_resources.h"
#include "platform/win32/gui/resource_files.h"

namespace platform {

namespace {

// The resource types, by number (the system's names depend on UNICODE).
const LPCWSTR kTypeBitmap = MAKEINTRESOURCEW(2);
const LPCWSTR kTypeIcon = MAKEINTRESOURCEW(3);
const LPCWSTR kTypeDialog = MAKEINTRESOURCEW(5);
const LPCWSTR kTypeString = MAKEINTRESOURCEW(6);
const LPCWSTR kTypeRcData = MAKEINTRESOURCEW(10);
const LPCWSTR kTypeGroupIcon = MAKEINTRESOURCEW(14);

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// The bytes of resource (type, id) of this module, which stay mapped while
// it is loaded.
bool RawResource(LPCWSTR type, int32_t id, const uint8_t** data, size_t* size) {
  // Resource numbers are 1 to 0xFFFF; a larger one would be taken for the
  // address of a name.
  if (id < 1 || id > 0xFFFF) return false;
  HMODULE module = ThisModule();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return false;
  const void* bytes = LockResource(loaded);
  DWORD length = SizeofResource(module, found);
  if (bytes == nullptr || length == 0) return false;
  *data = static_cast<const uint8_t*>(bytes);
  *size = length;
  return true;
}

}  // namespace

bool FindModuleResource(ResourceType type, int32_t id, const uint8_t** data, size_t* size) {
  if (type == ResourceType::kDialog) return RawResource(kTypeDialog, id, data, size);
  if (type == ResourceType::kStringBlock) return RawResource(kTypeString, id, data, size);
  // A file kept whole wins. Bitmaps and icons share the RCDATA numbers:
  // only a file of the kind asked for counts.
  const uint8_t* raw = nullptr;
  size_t length = 0;
  if (RawResource(kTypeRcData, id, &raw, &length) && length >= 6) {
    bool bmp = raw[0] == 'B' && raw[1] == 'M';
    bool ico = raw[0] == 0 && raw[1] == 0 && raw[2] == 1 && raw[3] == 0;
    if (type == ResourceType::kBitmap ? bmp : ico) {
      *data = raw;
      *size = length;
      return true;
    }
  }
  static std::mutex lock;
  static auto* rebuilt = new std::map<std::pair<int, int32_t>, std::vector<uint8_t>>;
  std::lock_guard<std::mutex> guard(lock);
  auto key = std::make_pair(static_cast<int>(type), id);
  auto it = rebuilt->find(key);
  if (it == rebuilt->end()) {
    std::vector<uint8_t> file;
    if (type == ResourceType::kBitmap) {
      if (!RawResource(kTypeBitmap, id, &raw, &length)) return false;
      file = BmpFileFromDib(raw, length);
    } else {
      if (!RawResource(kTypeGroupIcon, id, &raw, &length)) return false;
      file = IcoFileFromGroup(raw, length, [](uint16_t image, const uint8_t** d, size_t* n) {
        return RawResource(kTypeIcon, image, d, n);
      });
    }
    if (file.empty()) return false;
    it = rebuilt->emplace(key, std::move(file)).first;
  }
  *data = it->second.data();
  *size = it->second.size();
  return true;
}

}  // namespace platform
