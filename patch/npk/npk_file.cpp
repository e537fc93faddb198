// Opening, editing and closing packages. Saving is in npk_save.cpp.
#include <algorithm>
#include <cstring>

#include "patch/npk/npk.h"
#include "patch/npk/npk_codec.h"
#include "patch/npk/npk_io.h"
#include "platform/error.h"

namespace kivro {

using namespace npk_internal;

thread_local int32_t npk_last_error = NPK_SUCCESS;

namespace {

int32_t Result(int32_t code) {
  npk_last_error = code;
  return code;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void FreeChain(NpkFile* package) {
  for (NpkFileEntity* e = package->first; e != nullptr;) {
    NpkFileEntity* next = e->next;
    delete e;
    e = next;
  }
  package->first = package->last = package->current = nullptr;
  package->index.clear();
}

void Append(NpkFile* package, NpkFileEntity* entity) {
  entity->owner = package;
  entity->previous = package->last;
  entity->next = nullptr;
  if (package->last != nullptr)
    package->last->next = entity;
  else
    package->first = entity;
  package->last = entity;
  package->current = entity;
  package->index.emplace(std::string_view(entity->name), entity);
}

// Walks the entity table with a large window, so a table of many small
// records costs a few reads rather than two per record.
class TableReader {
 public:
  TableReader(NpkFile* package, uint64_t start, uint64_t end)
      : package_(package), cursor_(start), end_(end) {}
  uint64_t remaining() const { return end_ - cursor_; }
  uint64_t cursor() const { return cursor_; }
  // The next `length` bytes, or null with *code set.
  const uint8_t* Take(size_t length, int32_t* code) {
    if (length > remaining()) {
      *code = NPK_ERROR_NOT_A_PACKAGE;
      return nullptr;
    }
    if (cursor_ < window_start_ || cursor_ + length > window_start_ + window_.size()) {
      size_t want =
          static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(length, 1 << 20), remaining()));
      window_.resize(want);
      *code = ReadAt(package_, &package_->file, cursor_, window_.data(), want, kNpkStageEntityRecord, nullptr);
      if (*code != NPK_SUCCESS) return nullptr;
      window_start_ = cursor_;
    }
    const uint8_t* p = window_.data() + (cursor_ - window_start_);
    cursor_ += length;
    return p;
  }

 private:
  NpkFile* package_;
  uint64_t cursor_, end_;
  uint64_t window_start_ = 0;
  std::vector<uint8_t> window_;
};

int32_t ReadTable(NpkFile* package, uint64_t file_size, bool* duplicate) {
  const uint32_t header_end =
      package->header.version >= kNpkKeyedVersion ? kNpkDataOffset : kNpkHeaderSize;
  uint64_t table = package->header.table_offset;
  if (table < header_end || table > file_size) return NPK_ERROR_NOT_A_PACKAGE;
  // Every record takes at least 29 bytes (a name of at least one byte).
  if (uint64_t(package->header.entity_count) * (kNpkRecordSize + 1) > file_size - table)
    return NPK_ERROR_NOT_A_PACKAGE;
  TableReader reader(package, table, file_size);
  package->index.reserve(package->header.entity_count);
  uint32_t added = 0;
  int32_t code = NPK_SUCCESS;
  while (reader.remaining() > 0) {
    auto position = static_cast<int32_t>(reader.cursor());
    const uint8_t* r = reader.Take(kNpkRecordSize, &code);
    if (r == nullptr) return code;
    NpkEntityRecord info;
    info.data_offset = GetU32(r);
    info.stored_size = GetU32(r + 4);
    info.unpacked_size = GetU32(r + 8);
    info.flags = GetU32(r + 12);
    info.modified.low = GetU32(r + 16);
    info.modified.high = GetU32(r + 20);
    info.name_length = GetU16(r + 24);
    info.reserved = GetU16(r + 26);
    // A nameless record, or a block outside the file, is no package of ours.
    if (info.name_length == 0 || uint64_t(info.data_offset) + info.stored_size > file_size)
      return NPK_ERROR_NOT_A_PACKAGE;
    const uint8_t* n = reader.Take(info.name_length, &code);
    if (n == nullptr) return code;
    std::string name(reinterpret_cast<const char*>(n), info.name_length);
    if (package->index.count(std::string_view(name)) != 0) {
      *duplicate = true;  // the first of that name stays
      continue;
    }
    auto* entity = new NpkFileEntity;
    entity->info = info;
    entity->record_position = position;
    entity->name = std::move(name);
    entity->new_flags = info.flags;
    Append(package, entity);
    ++added;
  }
  if (added != package->header.entity_count) return NPK_ERROR_NOT_A_PACKAGE;
  return NPK_SUCCESS;
}

void ResetToCreated(NpkFile* package) {
  FreeChain(package);
  package->file.Close();
  package->path.clear();
  package->header = NpkHeader();
  memcpy(package->key, kNpkDefaultKey, sizeof package->key);
  memcpy(package->new_key, kNpkDefaultKey, sizeof package->new_key);
  package->key_changed = false;
  package->modified = false;
}

}  // namespace

size_t NpkNameHash::operator()(std::string_view name) const {
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the lower-cased bytes
  for (char c : name) h = (h ^ static_cast<unsigned char>(Lower(c))) * 1099511628211ull;
  return static_cast<size_t>(h);
}

bool NpkNameEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

NpkFile::NpkFile() {
  memcpy(key, kNpkDefaultKey, sizeof key);
  memcpy(new_key, kNpkDefaultKey, sizeof new_key);
}

NpkFile::~NpkFile() { NpkClose(this); }

int32_t NpkOpen(NpkFile* package, const char* path) {
  if (package->file.IsOpen()) return Result(NPK_ERROR_ALREADY_OPEN);
  if (path == nullptr || path[0] == '\0' || strlen(path) > kNpkMaxPath)
    return Result(NPK_ERROR_BAD_PATH);
  ResetToCreated(package);
  package->path = path;
  if (!package->file.Open(path, platform::File::kRead | platform::File::kWrite,
                          platform::File::Mode::kOpenExisting)) {
    int32_t code = OpenErrorCode();
    package->path.clear();
    return Result(code);
  }
  int32_t code = NPK_SUCCESS;
  bool duplicate = false;
  int64_t size = package->file.Size();
  uint8_t head[kNpkDataOffset];
  if (size < 0) {
    code = NPK_ERROR_FILE_OPEN;
  } else if (uint64_t(size) < kNpkHeaderSize) {
    code = NPK_ERROR_NOT_A_PACKAGE;
  } else if ((code = ReadAt(package, &package->file, 0, head, kNpkHeaderSize, kNpkStageHeader, path)) ==
             NPK_SUCCESS) {
    if (memcmp(head, "NPAK", 4) != 0) {
      code = NPK_ERROR_NOT_A_PACKAGE;
    } else {
      memcpy(package->header.signature, head, 4);
      package->header.version = GetU32(head + 4);
      package->header.entity_count = GetU32(head + 8);
      package->header.table_offset = GetU32(head + 12);
      package->header.data_offset = GetU32(head + 16);
      if (package->header.version >= kNpkKeyedVersion) {
        if (uint64_t(size) < kNpkDataOffset) {
          code = NPK_ERROR_NOT_A_PACKAGE;
        } else if ((code = ReadAt(package, &package->file, kNpkHeaderSize, head + kNpkHeaderSize,
                                  16, 3, path)) == NPK_SUCCESS) {
          for (int i = 0; i < 4; ++i) package->key[i] = GetU32(head + kNpkHeaderSize + 4 * i);
          memcpy(package->new_key, package->key, sizeof package->key);
        }
      }
      if (code == NPK_SUCCESS) code = ReadTable(package, uint64_t(size), &duplicate);
    }
  }
  if (code != NPK_SUCCESS) {
    ResetToCreated(package);
    return Result(code);
  }
  package->current = package->first;
  package->modified = false;
  package->key_changed = false;
  // A dropped duplicate stays visible in the last error.
  npk_last_error = duplicate ? NPK_ERROR_DUPLICATE_NAME : NPK_SUCCESS;
  return NPK_SUCCESS;
}

NpkFileEntity* NpkFind(NpkFile* package, const char* name) {
  if (name == nullptr) return nullptr;
  auto found = package->index.find(std::string_view(name));
  if (found == package->index.end()) return nullptr;
  package->current = found->second;
  return found->second;
}

int32_t NpkAddFile(NpkFile* package, const char* file_path, const char* entity_name,
                   uint32_t flags) {
  if (file_path == nullptr || file_path[0] == '\0' || strlen(file_path) > kNpkMaxPath)
    return Result(NPK_ERROR_BAD_PATH);
  std::string name;
  if (entity_name != nullptr) {
    name = entity_name;
  } else {
    std::string path(file_path);
    size_t slash = path.find_last_of("\\/");
    name = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  if (name.empty() || name.size() > kNpkMaxPath) return Result(NPK_ERROR_BAD_PATH);
  if (package->index.count(std::string_view(name)) != 0) return Result(NPK_ERROR_DUPLICATE_NAME);

  platform::File source;
  if (!source.Open(file_path, platform::File::kRead, platform::File::Mode::kOpenExisting))
    return Result(OpenErrorCode());
  int64_t size = source.Size();
  if (size < 0) return Result(NPK_ERROR_FILE_OPEN);
  if (size == 0) return Result(NPK_ERROR_EMPTY_SOURCE);
  if (uint64_t(size) > UINT32_MAX) return Result(NPK_ERROR_NO_PLACE);

  auto* entity = new NpkFileEntity;
  entity->info.flags = flags;
  entity->new_flags = flags;
  entity->info.unpacked_size = static_cast<uint32_t>(size);
  entity->info.name_length = static_cast<uint16_t>(name.size());
  entity->name = std::move(name);
  entity->pending_source = file_path;
  Append(package, entity);
  ++package->header.entity_count;
  package->modified = true;
  return Result(NPK_SUCCESS);
}

int32_t NpkRemove(NpkFile* package, NpkFileEntity* entity) {
  if (entity == nullptr || entity->owner != package) return Result(NPK_ERROR_ENTITY_NOT_IN_PACKAGE);
  auto found = package->index.find(std::string_view(entity->name));
  if (found == package->index.end() || found->second != entity)
    return Result(NPK_ERROR_ENTITY_NOT_IN_PACKAGE);
  package->index.erase(found);
  if (entity->previous != nullptr)
    entity->previous->next = entity->next;
  else
    package->first = entity->next;
  if (entity->next != nullptr)
    entity->next->previous = entity->previous;
  else
    package->last = entity->previous;
  package->current = entity->next;
  delete entity;
  if (package->header.entity_count > 0) --package->header.entity_count;
  package->modified = true;
  return Result(NPK_SUCCESS);
}

void NpkSetKey(NpkFile* package, uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
  package->new_key[0] = k0;
  package->new_key[1] = k1;
  package->new_key[2] = k2;
  package->new_key[3] = k3;
  package->key_changed = true;
}

void NpkSetNewFlags(NpkFileEntity* entity, uint32_t flags) { entity->new_flags = flags; }

void NpkSetProgress(NpkFile* package, NpkProgressFn progress, int32_t chunk_size) {
  package->progress = progress;
  package->chunk_size = chunk_size;
}

void NpkClose(NpkFile* package) { ResetToCreated(package); }

int32_t NpkReadEntity(NpkFile* package, NpkFileEntity* entity, std::vector<uint8_t>* content) {
  if (entity == nullptr || entity->owner != package) return Result(NPK_ERROR_ENTITY_NOT_IN_PACKAGE);
  if (!entity->pending_source.empty()) {
    // A pending file is the entity's plain content.
    platform::File source;
    if (!source.Open(entity->pending_source, platform::File::kRead,
                     platform::File::Mode::kOpenExisting))
      return Result(OpenErrorCode());
    int64_t size = source.Size();
    if (size < 0) return Result(NPK_ERROR_FILE_OPEN);
    if (uint64_t(size) > UINT32_MAX) return Result(NPK_ERROR_NO_PLACE);
    try {
      content->resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
      return Result(NPK_ERROR_OUT_OF_MEMORY);
    }
    return Result(
        ReadAt(package, &source, 0, content->data(), content->size(), kNpkStageEntityData, entity->name.c_str()));
  }
  if (!package->file.IsOpen()) return Result(NPK_ERROR_FILE_OPEN);
  std::vector<uint8_t> block;
  try {
    block.resize(entity->info.stored_size);  // checked against the file size at open
  } catch (const std::bad_alloc&) {
    return Result(NPK_ERROR_OUT_OF_MEMORY);
  }
  int32_t code = ReadAt(package, &package->file, entity->info.data_offset, block.data(),
                        block.size(), 2, entity->name.c_str());
  if (code != NPK_SUCCESS) return Result(code);
  return Result(NpkDecode(block.data(), block.size(), entity->info.unpacked_size,
                          entity->info.flags, package->key, content));
}

int32_t NpkCreatePackage(const char* path, bool overwrite) {
  if (path == nullptr || path[0] == '\0' || strlen(path) > kNpkMaxPath)
    return Result(NPK_ERROR_BAD_PATH);
  platform::File file;
  if (!file.Open(
          path, platform::File::kRead | platform::File::kWrite,
          overwrite ? platform::File::Mode::kCreateAlways : platform::File::Mode::kCreateNew)) {
    if (!overwrite && platform::GetLastSystemError() != platform::kErrorFileNotFound &&
        platform::GetLastSystemError() != platform::kErrorPathNotFound &&
        platform::FileExists(path))
      return Result(NPK_TARGET_EXISTS);
    return Result(NPK_ERROR_CANNOT_CREATE);
  }
  uint8_t head[kNpkDataOffset];
  memcpy(head, "NPAK", 4);
  PutU32(head + 4, kNpkVersion);
  PutU32(head + 8, 0);
  PutU32(head + 12, kNpkDataOffset);
  PutU32(head + 16, kNpkDataOffset);
  for (int i = 0; i < 4; ++i) PutU32(head + 20 + 4 * i, kNpkDefaultKey[i]);
  if (!file.Write(head, sizeof head) || !file.Sync()) return Result(WriteErrorCode());
  return Result(NPK_SUCCESS);
}

int32_t NpkGetFileWriteTime(const char* path, platform::FileTime* time) {
  platform::File file;
  if (path == nullptr ||
      !file.Open(path, platform::File::kRead, platform::File::Mode::kOpenExisting))
    return Result(NPK_ERROR_FILE_OPEN);
  platform::FileTime creation, access;
  if (time == nullptr || !file.GetTimes(&creation, &access, time))
    return Result(NPK_ERROR_FILE_TIME_READ);
  return Result(NPK_SUCCESS);
}

int32_t NpkSetFileWriteTime(const char* path, const platform::FileTime& time) {
  platform::File file;
  if (path == nullptr || !file.Open(path, platform::File::kRead | platform::File::kWrite,
                                    platform::File::Mode::kOpenExisting))
    return Result(NPK_ERROR_FILE_OPEN);
  if (!file.SetTimes(nullptr, nullptr, &time)) return Result(NPK_ERROR_FILE_TIME_SET);
  return Result(NPK_SUCCESS);
}

}  // namespace kivro
