// Round trip of the registry file: whatever a damaged file holds, what is
// read back from it serialises to a text that reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using platform::registry_detail::Store;
  Store first = Store::Parse(std::string(reinterpret_cast<const char*>(data), size));
  std::string text = first.Serialize();
  Store second = Store::Parse(text);
  if (second.Serialize() != text) abort();
  if (second.keys.size() != first.keys.size()) abort();
  return 0;
}
