// CVrelApply: installs downloaded apply records. It unpacks zip archives into
// their folders, stamps the list times, and for files that live inside NPK
// packages adds the unpacked entity to its package, re-flags an entity or
// changes a package's key. One package stays open across consecutive records
// and is saved when a record names another package, at Finish, or when the
// applier is destroyed.
//
// Thread safety: all operations run on the manager's apply thread (or one
// worker at a time); nothing here is locked.
#pragma once
#include <cstdint>
#include <memory>

#include "patch/npk/npk.h"
#include "patch/patch_codes.h"
#include "patch/vrel_apply_info.h"
#include "patch/vrel_miniunz.h"
#include "update/fixed_text.h"
#include "update/roles.h"
#include "update/work_lists.h"

namespace kivro {

class CVrelApply : public I_Apply {
 public:
  CVrelApply() = default;
  ~CVrelApply() override;
  CVrelApply(const CVrelApply&) = delete;
  CVrelApply& operator=(const CVrelApply&) = delete;

  void SetCancelCallback(CancelCheckFn check) override { stop_query_ = check; }
  void SetFileCallback(FileTextFn callback) override { file_callback_ = callback; }
  void SetProgressCallback(ApplyProgressFn callback) override { progress_callback_ = callback; }
  void SetPercentCallback(PercentFn callback) override { percent_callback_ = callback; }
  int32_t Apply(CBApplyFileInfo* record) override;
  // Saves and closes the open package, then deletes the work folder.
  int32_t Finish() override;
  void Release() override { delete this; }

  // The folder of staged entity archives (install folder + "\__npk_entity"),
  // deleted by Finish. A text that does not fit is refused (no folder).
  void SetWorkFolder(const char* folder);
  // Handed to every package opened from now on, with a 102400-byte chunk.
  void SetPackageProgress(NpkProgressFn progress) { package_progress_ = progress; }

 private:
  int32_t ApplyRecord(const CVrelApplyInfo& record);
  int32_t Unpack(const CVrelApplyInfo& record);
  int32_t OpenPackage(const CVrelApplyInfo& record);
  // Finish step 1: 0 saved or nothing open, 1 save stopped, 100 failed.
  int32_t ClosePackage();

  char work_folder_[kTextSize] = {};
  char unpacked_path_[kTextSize] = {};
  std::unique_ptr<CVrelMiniunz> extractor_;
  std::unique_ptr<NpkFile> package_;
  int32_t package_modified_ = 0;
  int64_t package_time_ = 0;
  CancelCheckFn stop_query_ = nullptr;
  FileTextFn file_callback_ = nullptr;
  ApplyProgressFn progress_callback_ = nullptr;
  PercentFn percent_callback_ = nullptr;
  NpkProgressFn package_progress_ = nullptr;
};

}  // namespace kivro
