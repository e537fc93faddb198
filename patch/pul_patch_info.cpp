#include "patch/pul_patch_info.h"

#include <cstring>

#include "patch/file_byte_sum.h"
#include "patch/install_path_guard.h"
#include "patch/stamp_file_time.h"
#include "patch/verify_checks.h"
#include "patch/vrel_apply_info.h"
#include "platform/file.h"
#include "platform/file_inside.h"
#include "update/last_error.h"

namespace kivro {

namespace {

// Entry names are a six-character prefix, the version and a four-character
// extension ("patch_1.0.4.zip"); shorter names carry no version.
constexpr size_t kMinimumEntryName = 10;

void Replace(std::string* text, char from, char to) {
  for (char& c : *text)
    if (c == from) c = to;
}

}  // namespace

int32_t CPulPatchInfo::SetSubdirMode(const char* mode) {
  CopyText(installed_version_, mode);
  return 0;
}

void CPulPatchInfo::SetLocalBase(const char* install_folder) {
  if (!CopyText(local_base_, install_folder)) local_base_[0] = '\0';
}

void CPulPatchInfo::SetUrlBase(const char* url_base) {
  if (!CopyText(url_base_, url_base)) url_base_[0] = '\0';
}

int32_t CPulPatchInfo::ReadList(const char* local_path) {
  Reset();
  if (local_path == nullptr || !Read(local_path)) {
    SetLastErrorInfo(kPatchListUnreadable, 0, nullptr);
    return kPatchListUnreadable;
  }
  if (TooLarge()) {
    std::string text = "more than " + std::to_string(kPulMaxRecords) + " records";
    Reset();
    SetLastErrorInfo(kPatchListUnreadable, 0, text.c_str());
    return kPatchListUnreadable;
  }
  return 0;
}

int32_t CPulPatchInfo::GetItemCount() {
  return download_list_ == nullptr ? 0 : download_list_->GetCount();
}

bool CPulPatchInfo::ArchiveFolderSafe() const {
  return archive_folder.empty() || IsSafeRelativeName(archive_folder.c_str());
}

std::string CPulPatchInfo::ArchivePath(const char* name) const {
  std::string path = archive_folder.empty()
                         ? std::string(local_base_) + "\\" + name
                         : std::string(local_base_) + "\\" + archive_folder + "\\" + name;
  Replace(&path, '/', '\\');
  return path;
}

int32_t CPulPatchInfo::BuildDownloadList() {
  auto refuse = [](int32_t code, const std::string& what) {
    SetLastErrorInfo(code, 0, what.c_str());
    return code;
  };
  if (local_base_[0] == '\0' || url_base_[0] == '\0')
    return refuse(kPatchListPathTooLong, "install folder or URL base");
  if (!ArchiveFolderSafe()) return refuse(kPatchListUnsafeName, archive_folder);

  std::vector<std::unique_ptr<CBDownloadFileInfo>> pending;
  for (const auto& entry : entries) {
    size_t length = std::strlen(entry->name);
    if (length < kMinimumEntryName) continue;
    std::string version(entry->name + 6, length - 10);
    if (CompareVersions(installed_version_, version.c_str()) != 1) continue;
    if (CompareVersions(version.c_str(), newest_version.c_str()) == -1) continue;
    if (entry->use == 0) continue;
    if (!IsSafeRelativeName(entry->name)) return refuse(kPatchListUnsafeName, entry->name);

    std::string local = ArchivePath(entry->name);
    std::string url = std::string(url_base_) + "/" + entry->name;
    auto item = std::make_unique<CBDownloadFileInfo>();
    auto record = new CVrelApplyInfo;
    item->apply_record = record;
    item->kind = kTransferFetch;
    item->size = 0;
    record->apply_kind = kApplyUnpackArchive;
    if (!CopyText(item->local_path, local.c_str()) || !CopyText(item->url, url.c_str()) ||
        !CopyText(record->source_path, local.c_str()) ||
        !CopyText(record->destination_folder, local_base_))
      return refuse(kPatchListPathTooLong, local);
    pending.push_back(std::move(item));
  }
  if (download_list_ != nullptr)
    for (auto& item : pending) download_list_->Add(item.release());
  return 0;
}

void CPulPatchInfo::Uninstall() {
  if (!ArchiveFolderSafe()) return;
  for (const auto& entry : entries) {
    if (entry->use != 0 || !IsSafeRelativeName(entry->name)) continue;
    // Removed in its own folder, never through a link (file_inside.h).
    std::string local = ArchivePath(entry->name);
    platform::SetAttributesInside(local_base_, local, platform::kAttrNormal);
    platform::RemoveFileInside(local_base_, local);
  }
}

int32_t CPulPatchInfo::Verify() {
  if (files.empty()) return 0;
  mismatches_.clear();
  for (const auto& file : files) {
    std::string path = std::strcmp(file->directory, "/") == 0
                           ? std::string(local_base_) + "\\" + file->name
                           : std::string(local_base_) + file->directory + "\\" + file->name;
    Replace(&path, '/', '\\');
    int32_t failed = 0;
    bool missing = true;
    platform::FileInfo info;
    // A name that would lead outside the install folder is never looked at:
    // it counts as missing.
    if (IsSafeListDirectory(file->directory, 0) && IsSafeRelativeName(file->name) &&
        platform::GetFileInfo(path, &info) && !(info.attributes & platform::kAttrDirectory)) {
      missing = false;
      // Every comparison, so the mismatch names each that fails.
      failed = FailedVerifyChecks(VERIFY_TIME | VERIFY_SIZE | VERIFY_CHECKSUM, path, info.size,
                                  info.write, {file->size, file->time, file->checksum},
                                  VerifyReport::kEveryFailure);
    }
    if (!missing && failed == 0) continue;
    auto mismatch = std::make_unique<PulMismatch>();
    CopyText(mismatch->path, path.c_str());  // shown only; a long path is cut
    CopyText(mismatch->note, file->note);
    mismatch->failed = failed;
    mismatches_.push_back(std::move(mismatch));
  }
  if (mismatches_.empty()) return 0;
  SetLastErrorInfo(kInstalledFilesMismatch, 0, nullptr);
  return kInstalledFilesMismatch;
}

void CPulPatchInfo::GetMismatch(int32_t index, char* path, int32_t* value, char* note) {
  bool valid = index >= 0 && index < static_cast<int32_t>(mismatches_.size());
  const PulMismatch* m = valid ? mismatches_[static_cast<size_t>(index)].get() : nullptr;
  if (path != nullptr) CopyText(path, kTextSize, m ? m->path : "");
  if (note != nullptr) CopyText(note, kTextSize, m ? m->note : "");
  if (value != nullptr) *value = m ? m->failed : -1;
}

}  // namespace kivro
