// The BMP and ICO decoders of built-in resources: any bytes, no crash, no
// read outside the input, and a decoded picture of the size it claims.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/gdi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::Bitmap b = platform::DecodeBmp(data, size);
  if (!b.IsNull()) {
    // Every pixel is reachable and the description agrees.
    if (b.Describe().width != b.Width()) abort();
    volatile platform::ColorRef sink = b.GetPixel(b.Width() - 1, b.Height() - 1);
    (void)sink;
  }
  for (int preferred : {16, 32}) {
    platform::Icon icon = platform::Icon::Decode(data, size, preferred);
    if (!icon.IsNull() && icon.Pixels().size() != static_cast<size_t>(icon.Width()) * icon.Height())
      abort();
  }
  return 0;
}
