// Meta files of the peer engine come from the network: any bytes must read
// without a fault, and what reads must write back to the same meta file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/swarmlet_meta.h"

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SwarmletMeta meta;
  std::string why;
  if (!ReadSwarmletMeta(reinterpret_cast<const char*>(data), size, &meta, &why)) return 0;
  if (!SwarmletMetaNameOk(meta.name) || meta.sources.empty() || meta.size >= 0x100000000ull) abort();
  std::string text = WriteSwarmletMeta(meta);
  if (text.empty()) abort();
  SwarmletMeta back;
  if (!ReadSwarmletMeta(text.data(), text.size(), &back, &why) || back.name != meta.name ||
      back.size != meta.size || back.sources != meta.sources || back.torrent != meta.torrent)
    abort();
  return 0;
}
