// The list-patch reader and the patch info over it on hostile list text.
#include <cstdint>
#include <cstring>

#include "patch/pul_patch_info.h"
#include "platform/thread.h"

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::CriticalSection lock;
  CBDownloadList list;
  list.SetLock(&lock);
  CPulPatchInfo info;
  info.SetDownloadList(&list);
  info.SetLocalBase("Z:\\nonexistent\\kivro-fuzz-install");
  info.SetUrlBase("http://dl.test/patch");
  info.SetSubdirMode("1.0.0");
  info.ReadBuffer(reinterpret_cast<const char*>(data), size);
  info.BuildDownloadList();
  for (const auto& entry : info.entries) CompareVersions(entry->name, info.GetVersionText());
  // Every queued item names a place under the install folder.
  for (int32_t i = 0; i < list.GetCount(); ++i) {
    const char* local = list.GetAt(i)->local_path;
    if (std::strncmp(local, "Z:\\nonexistent\\kivro-fuzz-install\\", 34) != 0) __builtin_trap();
    if (std::strstr(local, "\\..\\") != nullptr) __builtin_trap();
  }
  return 0;
}
