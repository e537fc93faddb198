#include "patch/vrel_apply.h"

#include <cstring>
#include <string>

#include "patch/stamp_file_time.h"
#include "patch/vrel_apply_info.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "update/last_error.h"

namespace kivro {

namespace {

void DeleteQuietly(const std::string& path) {
  platform::SetPathAttributes(path, platform::kAttrNormal);
  platform::RemoveFile(path);
}

// The path without its last extension ("a\b.txt.zip" -> "a\b.txt"); a name
// without a dot stays as it is.
void StripLastExtension(const char* path, char (&out)[kTextSize]) {
  CopyText(out, path);
  char* dot = std::strrchr(out, '.');
  char* slash = std::strrchr(out, '\\');
  char* forward = std::strrchr(out, '/');
  if (forward > slash) slash = forward;
  if (dot != nullptr && (slash == nullptr || dot > slash)) *dot = '\0';
}

}  // namespace

CVrelApply::~CVrelApply() { ClosePackage(); }

void CVrelApply::SetWorkFolder(const char* folder) {
  if (!CopyText(work_folder_, folder)) work_folder_[0] = '\0';
}

int32_t CVrelApply::Apply(CBApplyFileInfo* record) {
  auto* info = dynamic_cast<CVrelApplyInfo*>(record);
  if (info == nullptr) {
    SetLastErrorInfo(kApplyUnknownRecord, 0, "apply record of an unknown type");
    return kApplyUnknownRecord;
  }
  int32_t result = ApplyRecord(*info);
  // A stop while an entity waits for its package is not an error.
  bool entity_stop = info->apply_kind == kApplyUnpackEntity && result == kRoleStopped;
  if (result != kRoleDone && !entity_stop) SetLastErrorInfo(result, 0, nullptr);
  return result;
}

int32_t CVrelApply::ApplyRecord(const CVrelApplyInfo& record) {
  switch (record.apply_kind) {
    case kApplySetEntityFlags: {
      int32_t r = OpenPackage(record);
      if (r != 0) return r;
      NpkFileEntity* entity = NpkFind(package_.get(), record.entity_name);
      if (entity == nullptr) return kApplyEntityFailed;
      NpkSetNewFlags(entity, record.entity_info.flags);
      package_modified_ = 1;
      return 0;
    }
    case kApplySetPackageKey: {
      int32_t r = OpenPackage(record);
      if (r != 0) return r;
      NpkSetKey(package_.get(), record.package_key[0], record.package_key[1], record.package_key[2],
                record.package_key[3]);
      package_modified_ = 1;
      return 0;
    }
    case kApplyUnpackArchive:
      if (!extractor_)
        extractor_ = std::make_unique<CVrelMiniunz>(stop_query_, file_callback_, progress_callback_,
                                                    percent_callback_);
      return extractor_->ExtractArchive(record.source_path, record.destination_folder);
    case kApplyNothing:
      return 0;
    default:
      return Unpack(record);
  }
}

int32_t CVrelApply::Unpack(const CVrelApplyInfo& record) {
  if (!extractor_)
    extractor_ = std::make_unique<CVrelMiniunz>(stop_query_, file_callback_, progress_callback_,
                                                percent_callback_);
  int32_t r = extractor_->ExtractArchive(record.source_path, record.destination_folder);
  if (r != 0) return r;  // a failed unpack leaves the archive in place
  DeleteQuietly(record.source_path);
  // Each archive holds one entry named like the file: the archive's name
  // without ".zip".
  StripLastExtension(record.source_path, unpacked_path_);

  switch (record.apply_kind) {
    case kApplyUnpackFile:
    case kApplyUnpackPackage:
      StampFileTime(unpacked_path_, record.time);
      return 0;
    case kApplyUnpackEntity: {
      platform::FileTime modified{record.entity_info.time_low, record.entity_info.time_high};
      NpkSetFileWriteTime(unpacked_path_, modified);
      if (stop_query_ != nullptr && stop_query_() != 0) return 1;
      r = OpenPackage(record);
      if (r != 0) return r;
      if (NpkFileEntity* old = NpkFind(package_.get(), record.entity_name))
        NpkRemove(package_.get(), old);
      package_modified_ = 1;
      // The file's bytes are read at the save, so it stays in the work
      // folder until then.
      if (NpkAddFile(package_.get(), unpacked_path_, record.entity_name, record.entity_info.flags) <
          0)
        return kApplyEntityFailed;
      return 0;
    }
    default:
      return 0;
  }
}

int32_t CVrelApply::OpenPackage(const CVrelApplyInfo& record) {
  if (package_ && platform::EqualsNoCase(package_->path, record.package_path)) return 0;
  int32_t closed = ClosePackage();
  if (closed == 1) return 1;
  if (closed != 0) return kApplyPackageFailed;
  auto package = std::make_unique<NpkFile>();
  if (NpkOpen(package.get(), record.package_path) < 0) return kApplyPackageFailed;
  if (package_progress_ != nullptr)
    NpkSetProgress(package.get(), package_progress_, kNpkApplierChunk);
  package_ = std::move(package);
  package_time_ = record.package_time;
  package_modified_ = 0;
  return 0;
}

int32_t CVrelApply::ClosePackage() {
  if (!package_) return 0;
  std::string path = package_->path;
  int32_t result = 0;
  bool saved = false;
  if (package_modified_) {
    if (file_callback_ != nullptr) file_callback_(path.c_str());
    int32_t s = NpkSave(package_.get(), nullptr, true);
    if (s < 0) {
      DeleteQuietly(path + "_");
      result = s == NPK_ERROR_STOPPED ? 1 : kApplyPackageFailed;
    } else {
      saved = true;
    }
  }
  NpkClose(package_.get());
  package_.reset();
  package_modified_ = 0;
  if (saved) StampFileTime(path.c_str(), package_time_);
  return result;
}

int32_t CVrelApply::Finish() {
  int32_t result = ClosePackage();
  // A stopped update may be resumed: the entity archives already fetched for
  // it stay until a Finish that was not stopped.
  bool stopped = stop_query_ != nullptr && stop_query_() != 0;
  if (work_folder_[0] != '\0' && !stopped) platform::RemoveTree(work_folder_);
  if (result != 0 && result != 1) {
    SetLastErrorInfo(kApplyPackageFailed, 0, nullptr);
    return kApplyPackageFailed;
  }
  return result;
}

}  // namespace kivro
