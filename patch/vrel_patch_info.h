// CVrelPatchInfo: the patch info of the ".vrl" patch list. It reads the list
// (through its CVrelBase), compares it with the install folder and fills the
// download list with one item per archive to fetch or change to make, then
// deletes what the list marks for removal and verifies the installed files.
//
// Names in the list are outside input: a list whose file, folder, package or
// entity names would lead outside the install folder (or its keyword folder)
// is refused as a whole by BuildDownloadList, and Uninstall never deletes
// through such a name.
//
// Thread safety: configured on the client's thread before the manager's
// worker runs; ReadList, BuildDownloadList, Uninstall and Verify then run on
// one worker at a time. Items reach the download list through its locked Add.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "patch/folder_listing_cache.h"
#include "patch/patch_codes.h"
#include "patch/vrel_base.h"
#include "update/fixed_text.h"
#include "update/roles.h"
#include "update/verify_rules.h"
#include "update/work_lists.h"

// The install folder's sub-folder where entity archives are staged.

namespace kivro {

constexpr char kNpkEntityFolder[] = "__npk_entity";

struct VerifyRule {
  char extension[kTextSize] = {};  // without the dot
  int32_t flags = 0;
};

class CVrelPatchInfo : public I_PatchInfo, public CVrelBase {
 public:
  CVrelPatchInfo() = default;
  ~CVrelPatchInfo() override = default;

  int32_t SetSubdirMode(const char* mode) override;
  void SetLocalBase(const char* install_folder) override;
  void SetUrlBase(const char* url_base) override;
  void SetDownloadList(CBDownloadList* list) override { download_list_ = list; }
  void AddVerifyRule(const char* extension, int32_t flags) override;
  int32_t ReadList(const char* local_path) override;
  int32_t BuildDownloadList() override;
  int32_t Verify() override;
  void Uninstall() override;
  int32_t GetItemCount() override;
  int32_t GetItemTotal() override { return GetItemCount(); }
  const char* GetVersionText() override { return nullptr; }
  int32_t GetMismatchCount() override { return 0; }
  void GetMismatch(int32_t, char*, int32_t*, char*) override {}
  void Release() override { delete this; }

  // Install folder + "\__npk_entity": where entity archives are staged.
  std::string PackageWorkFolder() const;

  bool per_directory_urls() const { return per_directory_urls_ != 0; }
  const char* local_base() const { return local_base_; }
  const char* url_base() const { return url_base_; }

 private:
  std::string LocalPath(int32_t keyword, const char* folder, const char* name) const;
  std::string FileUrl(int32_t keyword, const char* folder, const char* name,
                      bool per_directory) const;
  // 0, or the code of the first name that would lead outside its folder.
  int32_t CheckNames(std::string* offender) const;
  // True when Uninstall would change the disk.
  bool RemovalsPending(FolderListingCache* disk) const;
  bool VerifyFile(const std::string& path, int32_t flags, uint32_t size, int64_t time,
                  uint32_t checksum, const CNpkPackage* package) const;

  CBDownloadList* download_list_ = nullptr;
  int32_t per_directory_urls_ = 1;
  char local_base_[kTextSize] = {};
  char url_base_[kTextSize] = {};
  std::vector<VerifyRule> verify_rules_;
};

}  // namespace kivro
