// The readers of compiled resources: any bytes, no crash, no read outside
// the input, and what they find lies inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/common/gui/resource_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input as a resource file, with the dialog and block it holds read
  // in turn; and the input itself as a template and a block.
  const uint8_t* found = nullptr;
  size_t found_size = 0;
  for (uint16_t type : {platform::kResTypeDialog, platform::kResTypeString}) {
    for (uint16_t id : {1, 7, 100}) {
      if (!platform::FindInResFile(data, size, type, id, &found, &found_size)) continue;
      if (found < data || found_size > size || static_cast<size_t>(found - data) > size - found_size) abort();
      platform::DialogTemplate t;
      platform::ReadDialogTemplate(found, found_size, &t);
      std::u16string s;
      platform::ReadStringFromBlock(found, found_size, id % 16, &s);
    }
  }
  platform::DialogTemplate t;
  if (platform::ReadDialogTemplate(data, size, &t) && t.controls.size() > size / 18) abort();
  std::u16string s;
  for (int i = 0; i < 16; ++i)
    if (platform::ReadStringFromBlock(data, size, i, &s) && s.size() * 2 > size) abort();
  return 0;
}
