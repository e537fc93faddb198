// The list-patch reader and the patch info over it on hostile list text.
#include <cstdint>
#include <cstring>
#include <string>

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
  // Never more kept than the bound, and no slot left empty by an override.
  if (info.entries.size() + info.files.size() > size_t(kPulMaxRecords)) __builtin_trap();
  for (const auto& file : info.files)
    if (!file) __builtin_trap();
  info.BuildDownloadList();
  for (const auto& entry : info.entries) CompareVersions(entry->name, info.GetVersionText());
  // Every queued item names a place under the install folder and never
  // climbs: "..", between separators of either kind or at the end, is what
  // the path guard refuses.
  for (int32_t i = 0; i < list.GetCount(); ++i) {
    std::string local = list.GetAt(i)->local_path;
    if (local.compare(0, 34, "Z:\\nonexistent\\kivro-fuzz-install\\") != 0) __builtin_trap();
    for (char& c : local)
      if (c == '/') c = '\\';
    if (local.find("\\..\\") != std::string::npos) __builtin_trap();
    if (local.size() >= 3 && local.compare(local.size() - 3, 3, "\\..") == 0) __builtin_trap();
  }
  return 0;
}
