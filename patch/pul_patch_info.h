// CPulPatchInfo: the patch info over the list-patch format. It queues the
// patch archives whose versions lie after the installed version and up to
// the newest, each to be unpacked into the install folder; deletes the
// archives marked for removal; and verifies the listed files, keeping the
// ones that fail.
//
// Archive names and the archive folder come from outside: a list whose names
// would lead outside the install folder is refused by BuildDownloadList, and
// Uninstall and Verify never use such a name.
//
// Thread safety: as CVrelPatchInfo (configured first, then one worker at a
// time).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "patch/pul_base.h"
#include "patch/vrel_patch_info.h"  // PatchInfoCode
#include "update/fixed_text.h"
#include "update/roles.h"
#include "update/work_lists.h"

namespace kivro {

struct PulMismatch {
  char path[kTextSize] = {};
  char note[kTextSize] = {};
  int32_t failed = 0;  // 0 missing, else the VERIFY_* flags whose comparison failed
};

class CPulPatchInfo : public I_PatchInfo, public CPulBase {
 public:
  CPulPatchInfo() = default;
  ~CPulPatchInfo() override = default;

  // Stores the text as the installed version (a longer one is cut).
  int32_t SetSubdirMode(const char* mode) override;
  void SetLocalBase(const char* install_folder) override;
  void SetUrlBase(const char* url_base) override;
  void SetDownloadList(CBDownloadList* list) override { download_list_ = list; }
  void AddVerifyRule(const char*, int32_t) override {}
  int32_t ReadList(const char* local_path) override;
  int32_t BuildDownloadList() override;
  int32_t Verify() override;
  void Uninstall() override;
  int32_t GetItemCount() override;
  int32_t GetItemTotal() override { return GetItemCount(); }
  const char* GetVersionText() override { return newest_version.c_str(); }
  int32_t GetMismatchCount() override { return static_cast<int32_t>(mismatches_.size()); }
  void GetMismatch(int32_t index, char* path, int32_t* value, char* note) override;
  void Release() override { delete this; }

  const char* installed_version() const { return installed_version_; }

 private:
  // Local path of a list-patch entry: install folder, archive folder, name.
  std::string ArchivePath(const char* name) const;
  bool ArchiveFolderSafe() const;

  CBDownloadList* download_list_ = nullptr;
  char local_base_[kTextSize] = {};
  char url_base_[kTextSize] = {};
  char installed_version_[kTextSize] = {};
  std::vector<std::unique_ptr<PulMismatch>> mismatches_;
};

}  // namespace kivro
