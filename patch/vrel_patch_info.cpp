#include "patch/vrel_patch_info.h"

#include <cstring>
#include <memory>

#include "patch/file_byte_sum.h"
#include "patch/folder_listing_cache.h"
#include "patch/install_path_guard.h"
#include "patch/npk/npk.h"
#include "patch/stamp_file_time.h"
#include "patch/verify_checks.h"
#include "patch/vrel_apply_info.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "update/last_error.h"

namespace kivro {

namespace {

void Replace(std::string* text, char from, char to) {
  for (char& c : *text)
    if (c == from) c = to;
}

bool IsRootFolder(const char* folder) { return std::strcmp(folder, "\\") == 0; }

// Lower-cased extension after the last dot of the last path element; empty
// when there is none.
std::string Extension(const char* name) {
  const char* dot = std::strrchr(name, '.');
  if (dot == nullptr || std::strpbrk(dot, "\\/") != nullptr) return std::string();
  return platform::ToLowerAscii(dot + 1);
}

// What the list comparison checks of a plain file: size and time, and the
// checksum of programs and libraries.
int32_t ListComparison(const char* name) {
  std::string ext = Extension(name);
  return VERIFY_TIME | VERIFY_SIZE | ((ext == "exe" || ext == "dll") ? VERIFY_CHECKSUM : 0);
}

// "^" in listed entity names stands for the backslash inside the package.
std::string EntityNameInPackage(const char* listed) {
  std::string name = listed;
  Replace(&name, '^', '\\');
  return name;
}

bool KeysDiffer(const uint32_t a[4], const uint32_t b[4]) {
  return a[0] != b[0] || a[1] != b[1] || a[2] != b[2] || a[3] != b[3];
}

// Items are built aside and handed to the download list only when the
// whole list could be compared, so a refused list leaves nothing queued.
class PendingItems {
 public:
  // False when a path does not fit its 260-byte field.
  bool Fetch(const std::string& local_path, const std::string& url, uint32_t archive_size,
             std::unique_ptr<CVrelApplyInfo> record) {
    auto item = std::make_unique<CBDownloadFileInfo>();
    item->kind = kTransferFetch;
    item->size = static_cast<int32_t>(archive_size);
    if (!CopyText(item->local_path, local_path.c_str()) || !CopyText(item->url, url.c_str()) ||
        !CopyText(record->source_path, local_path.c_str()))
      return false;
    item->apply_record = record.release();
    items_.push_back(std::move(item));
    return true;
  }
  void ApplyOnly(std::unique_ptr<CVrelApplyInfo> record) {
    auto item = std::make_unique<CBDownloadFileInfo>();
    item->kind = kTransferApplyOnly;
    item->size = 0;
    item->apply_record = record.release();
    items_.push_back(std::move(item));
  }
  bool empty() const { return items_.empty(); }
  void HandTo(CBDownloadList* list) {
    for (auto& item : items_) list->Add(item.release());
    items_.clear();
  }

 private:
  std::vector<std::unique_ptr<CBDownloadFileInfo>> items_;
};

// The folder part of a path (up to its last backslash).
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

int32_t Refuse(int32_t code, const std::string& what) {
  std::string text = (code == kPatchListUnsafeName ? "name leads outside the install folder: "
                                                   : "path too long: ") +
                     what;
  SetLastErrorInfo(code, 0, text.c_str());
  return code;
}

}  // namespace

int32_t CVrelPatchInfo::SetSubdirMode(const char* mode) {
  std::string upper = mode ? mode : "";
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  per_directory_urls_ = upper == "Y_SUBDIR" ? 1 : 0;
  return per_directory_urls_;
}

// A folder or URL that does not fit is refused (left empty); the comparison
// then refuses to run rather than work under a cut path.
void CVrelPatchInfo::SetLocalBase(const char* install_folder) {
  if (!CopyText(local_base_, install_folder)) local_base_[0] = '\0';
}

void CVrelPatchInfo::SetUrlBase(const char* url_base) {
  if (!CopyText(url_base_, url_base)) url_base_[0] = '\0';
}

void CVrelPatchInfo::AddVerifyRule(const char* extension, int32_t flags) {
  VerifyRule rule;
  CopyText(rule.extension, extension);  // extensions are short; a cut one matches nothing real
  rule.flags = flags;
  verify_rules_.push_back(rule);
}

int32_t CVrelPatchInfo::ReadList(const char* local_path) {
  Reset();
  if (local_path == nullptr || !Read(local_path)) {
    SetLastErrorInfo(kPatchListUnreadable, 0, nullptr);
    return kPatchListUnreadable;
  }
  return 0;
}

int32_t CVrelPatchInfo::GetItemCount() {
  return download_list_ == nullptr ? 0 : download_list_->GetCount();
}

std::string CVrelPatchInfo::PackageWorkFolder() const {
  return std::string(local_base_) + "\\" + kNpkEntityFolder;
}

std::string CVrelPatchInfo::LocalPath(int32_t keyword, const char* folder, const char* name) const {
  std::string path;
  if (keyword == 1)
    path = std::string(folder) + "\\" + name;
  else if (IsRootFolder(folder))
    path = std::string(local_base_) + "\\" + name;
  else
    path = std::string(local_base_) + folder + "\\" + name;
  Replace(&path, '/', '\\');
  return path;
}

std::string CVrelPatchInfo::FileUrl(int32_t keyword, const char* folder, const char* name,
                                    bool per_directory) const {
  std::string url;
  if (!per_directory || keyword == 1 || IsRootFolder(folder))
    url = std::string(url_base_) + "/" + name;
  else
    url = std::string(url_base_) + folder + "/" + name;
  Replace(&url, '\\', '/');
  return url;
}

int32_t CVrelPatchInfo::CheckNames(std::string* offender) const {
  auto folder_ok = [&](int32_t keyword, const char* path) {
    if (IsSafeListDirectory(path, keyword)) return true;
    *offender = path;
    return false;
  };
  auto name_ok = [&](const char* name) {
    if (IsSafeRelativeName(name)) return true;
    *offender = name;
    return false;
  };
  for (const auto* dirs : {&install_directories, &uninstall_directories})
    for (const auto& dir : *dirs) {
      if (dir->files.empty()) continue;
      if (!folder_ok(dir->keyword, dir->path)) return kPatchListUnsafeName;
      for (const VrelFileRecord& file : dir->files)
        if (!name_ok(file.name)) return kPatchListUnsafeName;
    }
  for (const auto* bags : {&package_install_bags, &package_uninstall_bags})
    for (const auto& bag : *bags) {
      if (bag->packages.empty()) continue;
      if (!folder_ok(bag->keyword, bag->path)) return kPatchListUnsafeName;
      for (const auto& package : bag->packages) {
        if (!name_ok(package->name)) return kPatchListUnsafeName;
        for (const auto& entity : package->entities)
          if (!name_ok(entity->name)) return kPatchListUnsafeName;
      }
    }
  return 0;
}

int32_t CVrelPatchInfo::BuildDownloadList() {
  if (local_base_[0] == '\0' || url_base_[0] == '\0')
    return Refuse(kPatchListPathTooLong, "install folder or URL base");
  std::string offender;
  if (CheckNames(&offender) != 0) return Refuse(kPatchListUnsafeName, offender);

  FolderListingCache disk;
  PendingItems pending;

  // Plain files.
  for (const auto& dir : install_directories) {
    for (const VrelFileRecord& file : dir->files) {
      std::string local = LocalPath(dir->keyword, dir->path, file.name);
      const FolderListingCache::Entry* found = disk.Find(local);
      bool differs = found == nullptr ||
                     FailedVerifyChecks(ListComparison(file.name), local, found->size, found->write,
                                        {file.size, file.time, file.checksum},
                                        VerifyReport::kFirstFailure) != 0;
      if (!differs) continue;
      std::string url = FileUrl(dir->keyword, dir->path, file.name, per_directory_urls_ != 0);
      auto record = std::make_unique<CVrelApplyInfo>();
      record->apply_kind = kApplyUnpackFile;
      record->checksum = file.checksum;
      record->size = file.size;
      record->time = file.time;
      if (!CopyText(record->destination_folder, FolderOf(local).c_str()) ||
          !pending.Fetch(local + ".zip", url + ".zip", file.archive_size, std::move(record)))
        return Refuse(kPatchListPathTooLong, local);
    }
  }

  // Packages: compared whole first, then entity by entity.
  for (const auto& bag : package_install_bags) {
    for (const auto& package : bag->packages) {
      if (package->entities.empty()) continue;
      std::string local = LocalPath(bag->keyword, bag->path, package->name);
      std::string url = FileUrl(bag->keyword, bag->path, package->name, true);
      const FolderListingCache::Entry* found = disk.Find(local);
      if (found != nullptr && static_cast<uint32_t>(found->size) == package->size &&
          SameMinute(package->time, found->write))
        continue;  // same: not even opened

      NpkFile npk;
      NpkSetProgress(&npk, nullptr, 0);  // the table in one read, not 10-byte pieces
      if (found == nullptr || NpkOpen(&npk, local.c_str()) < 0) {
        auto record = std::make_unique<CVrelApplyInfo>();
        record->apply_kind = kApplyUnpackPackage;
        record->checksum = package->checksum;
        record->size = package->size;
        record->time = package->time;
        if (!CopyText(record->destination_folder, FolderOf(local).c_str()) ||
            !pending.Fetch(local + ".zip", url + ".zip", package->archive_size, std::move(record)))
          return Refuse(kPatchListPathTooLong, local);
        continue;
      }

      if (KeysDiffer(npk.key, package->header.key)) {
        auto record = std::make_unique<CVrelApplyInfo>();
        record->apply_kind = kApplySetPackageKey;
        record->time = package->time;
        record->package_time = package->time;
        std::memcpy(record->package_key, package->header.key, sizeof record->package_key);
        if (!CopyText(record->package_path, local.c_str()))
          return Refuse(kPatchListPathTooLong, local);
        pending.ApplyOnly(std::move(record));
      }

      // Staging part: "/__npk_entity" + folder + "/" + package name + "_npk".
      std::string staging = std::string("/") + kNpkEntityFolder + bag->path +
                            (IsRootFolder(bag->path) ? "" : "/") + package->name + "_npk";
      for (const auto& entity : package->entities) {
        std::string inner = EntityNameInPackage(entity->name);
        NpkFileEntity* held = NpkFind(&npk, inner.c_str());
        const EntityInfoImage& want = entity->info;
        bool content_differs = held == nullptr || held->info.unpacked_size != want.unpacked_size ||
                               held->info.modified.low != want.time_low ||
                               held->info.modified.high != want.time_high;
        auto record = std::make_unique<CVrelApplyInfo>();
        record->entity_info = want;
        record->package_time = package->time;
        if (!CopyText(record->package_path, local.c_str()) ||
            !CopyText(record->entity_name, inner.c_str()))
          return Refuse(kPatchListPathTooLong, local);
        if (content_differs) {
          std::string archive = std::string(local_base_) + staging + "/" + entity->name + ".zip";
          Replace(&archive, '/', '\\');
          std::string archive_url = std::string(url_base_) + staging + "/" + entity->name + ".zip";
          Replace(&archive_url, '\\', '/');
          record->apply_kind = kApplyUnpackEntity;
          record->checksum = entity->checksum;
          record->size = entity->size;
          record->time = entity->time;
          if (!CopyText(record->destination_folder, FolderOf(archive).c_str()) ||
              !pending.Fetch(archive, archive_url, entity->archive_size, std::move(record)))
            return Refuse(kPatchListPathTooLong, archive);
        } else if (held->info.flags != want.flags) {
          record->apply_kind = kApplySetEntityFlags;
          pending.ApplyOnly(std::move(record));
        }
      }
      NpkClose(&npk);
    }
  }

  // Removals are carried out after an update only: a release that only
  // removes things still needs one, so an apply-only item that does nothing
  // starts it.
  if (pending.empty() && RemovalsPending(&disk)) {
    auto record = std::make_unique<CVrelApplyInfo>();
    record->apply_kind = kApplyNothing;
    pending.ApplyOnly(std::move(record));
  }
  if (download_list_ != nullptr) pending.HandTo(download_list_);
  return 0;
}

bool CVrelPatchInfo::RemovalsPending(FolderListingCache* disk) const {
  for (const auto& dir : uninstall_directories)
    for (const VrelFileRecord& file : dir->files)
      if (disk->Find(LocalPath(dir->keyword, dir->path, file.name)) != nullptr) return true;
  for (const auto& bag : package_uninstall_bags) {
    for (const auto& package : bag->packages) {
      std::string local = LocalPath(bag->keyword, bag->path, package->name);
      if (disk->Find(local) == nullptr) continue;
      if (package->entities.empty()) return true;
      NpkFile npk;
      NpkSetProgress(&npk, nullptr, 0);
      if (NpkOpen(&npk, local.c_str()) < 0) continue;
      for (const auto& entity : package->entities)
        if (NpkFind(&npk, EntityNameInPackage(entity->name).c_str()) != nullptr) return true;
    }
  }
  return false;
}

bool CVrelPatchInfo::VerifyFile(const std::string& path, int32_t flags, uint32_t size, int64_t time,
                                uint32_t checksum, const CNpkPackage* package) const {
  platform::FileInfo info;
  if (!platform::GetFileInfo(path, &info) || (info.attributes & platform::kAttrDirectory))
    return false;
  uint32_t disk_size = static_cast<uint32_t>(info.size);
  if ((flags & VERIFY_SIZE) && package != nullptr) {
    // A package saved here is version 18 (with a 16-byte key) even when
    // the list describes an older file, and the other way round.
    NpkFile npk;
    NpkSetProgress(&npk, nullptr, 0);
    if (NpkOpen(&npk, path.c_str()) < 0) return false;
    uint32_t disk_version = npk.header.version;
    NpkClose(&npk);
    uint32_t listed_version = package->header.version;
    if (disk_version >= kNpkKeyedVersion && listed_version < kNpkKeyedVersion)
      disk_size -= 16;
    else if (disk_version < kNpkKeyedVersion && listed_version >= kNpkKeyedVersion)
      disk_size += 16;
  }
  return FailedVerifyChecks(flags, path, disk_size, info.write, {size, time, checksum},
                            VerifyReport::kFirstFailure) == 0;
}

int32_t CVrelPatchInfo::Verify() {
  if (verify_rules_.empty()) return 0;
  auto rule_for = [&](const char* name) -> const VerifyRule* {
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr) return nullptr;
    for (const VerifyRule& rule : verify_rules_)
      if (platform::CompareNoCase(rule.extension, dot + 1) == 0) return &rule;
    return nullptr;
  };
  bool failed = false;
  for (const auto& dir : install_directories) {
    for (const VrelFileRecord& file : dir->files) {
      const VerifyRule* rule = rule_for(file.name);
      if (rule == nullptr) continue;
      // A name that would lead elsewhere is never looked at: it fails.
      if (!IsSafeListDirectory(dir->path, dir->keyword) || !IsSafeRelativeName(file.name) ||
          !VerifyFile(LocalPath(dir->keyword, dir->path, file.name), rule->flags, file.size,
                      file.time, file.checksum, nullptr)) {
        failed = true;
        break;
      }
    }
    if (failed) break;
  }
  for (const auto& bag : package_install_bags) {
    if (failed) break;
    for (const auto& package : bag->packages) {
      const VerifyRule* rule = rule_for(package->name);
      if (rule == nullptr) continue;
      if (!IsSafeListDirectory(bag->path, bag->keyword) || !IsSafeRelativeName(package->name) ||
          !VerifyFile(LocalPath(bag->keyword, bag->path, package->name), rule->flags, package->size,
                      package->time, package->checksum, package.get())) {
        failed = true;
        break;
      }
    }
  }
  if (!failed) return 0;
  SetLastErrorInfo(kInstalledFilesMismatch, 0, nullptr);
  return kInstalledFilesMismatch;
}

void CVrelPatchInfo::Uninstall() {
  for (const auto& dir : uninstall_directories) {
    if (!IsSafeListDirectory(dir->path, dir->keyword)) continue;
    for (const VrelFileRecord& file : dir->files) {
      if (!IsSafeRelativeName(file.name)) continue;
      std::string local = LocalPath(dir->keyword, dir->path, file.name);
      platform::SetPathAttributes(local, platform::kAttrNormal);
      platform::RemoveFile(local);
    }
  }
  for (const auto& bag : package_uninstall_bags) {
    if (!IsSafeListDirectory(bag->path, bag->keyword)) continue;
    for (const auto& package : bag->packages) {
      if (!IsSafeRelativeName(package->name)) continue;
      std::string local = LocalPath(bag->keyword, bag->path, package->name);
      if (package->entities.empty()) {
        platform::SetPathAttributes(local, platform::kAttrNormal);
        platform::RemoveFile(local);
        continue;
      }
      NpkFile npk;
      NpkSetProgress(&npk, nullptr, 0);
      if (NpkOpen(&npk, local.c_str()) < 0) continue;
      int removed = 0;
      for (const auto& entity : package->entities) {
        if (NpkFileEntity* held = NpkFind(&npk, EntityNameInPackage(entity->name).c_str())) {
          NpkRemove(&npk, held);
          ++removed;
        }
      }
      if (removed > 0 && NpkSave(&npk, nullptr, true) < 0) {
        platform::RemoveFile(local + "_");  // the save's temporary file
        removed = 0;
      }
      NpkClose(&npk);
      if (removed == 0) continue;
      // The package now matches the release: give it the listed time.
      for (const auto& install_bag : package_install_bags) {
        if (!platform::EqualsNoCase(install_bag->path, bag->path)) continue;
        for (const auto& listed : install_bag->packages)
          if (platform::EqualsNoCase(listed->name, package->name)) {
            StampFileTime(local.c_str(), listed->time);
            break;
          }
        break;
      }
    }
  }
}

}  // namespace kivro
