// Saving a package: blocks in chain order from offset 36, then the table,
// then the header. In place, the new file is written beside the package as
// "<path>_", flushed to disk and renamed over it, so that a crash at any
// moment leaves either the old or the new package whole. The chain is
// changed only once the new file is in place: after a failed save the
// package still describes its old file, which stays open.
#include <cstring>
#include <new>

#include "patch/npk/npk.h"
#include "patch/npk/npk_codec.h"
#include "patch/npk/npk_io.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace kivro {

using namespace npk_internal;

namespace {

int32_t Result(int32_t code) {
  npk_last_error = code;
  return code;
}

bool Report(NpkFile* package, int32_t stage, const char* name, int32_t done, int32_t total) {
  return package->progress == nullptr || package->progress(kNpkWriting, stage, name, done, total);
}

// Copies `length` bytes of `source` at `offset` to the writer: inside the
// kernel when nobody watches the pieces and `fast_source` (the same file)
// is open, else piece by piece.
int32_t CopyBytes(NpkFile* package, platform::File* source, platform::RangeFile* fast_source,
                  uint64_t offset, uint64_t length, Writer* writer, const char* name) {
  if (package->progress == nullptr && fast_source != nullptr && fast_source->IsOpen())
    return writer->Copy(fast_source, offset, length);
  std::vector<uint8_t> piece;
  try {
    piece.resize(static_cast<size_t>(std::min<uint64_t>(length, kLargePiece)));
  } catch (const std::bad_alloc&) {
    return NPK_ERROR_OUT_OF_MEMORY;
  }
  uint64_t done = 0;
  while (done < length) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), length - done));
    int32_t code = ReadAt(package, source, offset + done, piece.data(), n, kNpkStageEntityData, name);
    if (code != NPK_SUCCESS) return code;
    code = writer->Write(piece.data(), n, kNpkStageEntityData, name);
    if (code != NPK_SUCCESS) return code;
    done += n;
  }
  return NPK_SUCCESS;
}

int32_t ReadAll(NpkFile* package, platform::File* source, uint64_t offset, uint32_t length,
                const char* name, std::vector<uint8_t>* bytes) {
  try {
    bytes->resize(length);
  } catch (const std::bad_alloc&) {
    return NPK_ERROR_OUT_OF_MEMORY;
  }
  return ReadAt(package, source, offset, bytes->data(), length, kNpkStageEntityData, name);
}

// Writes one entity's block; `record` receives its new table record.
int32_t WriteBlock(NpkFile* package, NpkFileEntity* entity, Writer* writer,
                   platform::RangeFile* package_source, NpkEntityRecord* record) {
  const char* name = entity->name.c_str();
  *record = entity->info;
  record->data_offset = static_cast<uint32_t>(writer->position());
  record->flags = entity->new_flags;
  std::vector<uint8_t> content, block;

  if (!entity->pending_source.empty()) {
    // A pending file holds the plain content: encoded with the entity's
    // flags and the new key like any other content, unchanged when neither
    // flag asks for encoding.
    platform::File source;
    if (!source.Open(entity->pending_source, platform::File::kRead,
                     platform::File::Mode::kOpenExisting))
      return OpenErrorCode();
    int64_t size = source.Size();
    if (size < 0) return NPK_ERROR_FILE_OPEN;
    if (size == 0) return NPK_ERROR_EMPTY_SOURCE;
    if (uint64_t(size) > UINT32_MAX) return NPK_ERROR_NO_PLACE;
    platform::FileTime creation, access;
    if (!source.GetTimes(&creation, &access, &record->modified)) return NPK_ERROR_FILE_TIME_READ;
    record->unpacked_size = static_cast<uint32_t>(size);
    if ((entity->new_flags & (NPK_FLAG_ENCIPHERED | NPK_FLAG_COMPRESSED)) == 0) {
      record->stored_size = record->unpacked_size;
      platform::RangeFile fast_source;
      if (package->progress == nullptr) fast_source.OpenForReading(entity->pending_source);
      int32_t code = CopyBytes(package, &source, &fast_source, 0, uint64_t(size), writer, name);
      // The copy may still be pending; it must be done while the file is open.
      return code == NPK_SUCCESS ? writer->Flush() : code;
    }
    int32_t code = ReadAll(package, &source, 0, record->unpacked_size, name, &content);
    if (code != NPK_SUCCESS) return code;
  } else if (entity->new_flags == entity->info.flags && !package->key_changed) {
    // Unchanged: copied byte for byte, never decoded.
    return CopyBytes(package, &package->file, package_source, entity->info.data_offset,
                     entity->info.stored_size, writer, name);
  } else {
    int32_t code = ReadAll(package, &package->file, entity->info.data_offset,
                           entity->info.stored_size, name, &block);
    if (code != NPK_SUCCESS) return code;
    code = NpkDecode(block.data(), block.size(), entity->info.unpacked_size, entity->info.flags,
                     package->key, &content);
    if (code != NPK_SUCCESS) return code;
  }
  int32_t code =
      NpkEncode(content.data(), content.size(), entity->new_flags, package->new_key, &block);
  if (code != NPK_SUCCESS) return code;
  if (block.size() > UINT32_MAX) return NPK_ERROR_NO_PLACE;
  record->stored_size = static_cast<uint32_t>(block.size());
  return writer->Write(block.data(), block.size(), kNpkStageEntityData, name);
}

struct Planned {
  NpkEntityRecord record;
  int32_t record_position = 0;
};

// Writes the whole package into `out`; `plan` receives the new records.
int32_t WritePackage(NpkFile* package, platform::RangeFile* out, bool in_place,
                     std::vector<Planned>* plan, uint32_t* table_offset) {
  // A second handle on the package file for kernel-side copies of the
  // unchanged blocks; without it they are copied through memory. Saved in
  // place, the old file's cached pages are let go as they are copied: the
  // new file takes their place in memory as on disk.
  platform::RangeFile package_source;
  if (package->progress == nullptr && package_source.OpenForReading(package->path) && in_place)
    package_source.DropCopiedFromCache();
  size_t count = 0;
  for (NpkFileEntity* e = package->first; e != nullptr; e = e->next) ++count;
  plan->resize(count);
  auto total = static_cast<int32_t>(std::min<size_t>(count, INT32_MAX));
  Writer writer(package, out, kNpkDataOffset);
  size_t i = 0;
  for (NpkFileEntity* e = package->first; e != nullptr; e = e->next, ++i) {
    auto index = static_cast<int32_t>(std::min<size_t>(i, INT32_MAX));
    if (!Report(package, kNpkStageSaving, e->name.c_str(), index, total)) return NPK_ERROR_STOPPED;
    int32_t code = WriteBlock(package, e, &writer, &package_source, &(*plan)[i].record);
    if (code != NPK_SUCCESS) return code;
    if (writer.position() > UINT32_MAX) return NPK_ERROR_NO_PLACE;  // offsets are 32-bit
    if (!Report(package, kNpkStageSaving, e->name.c_str(), index + 1, total)) return NPK_ERROR_STOPPED;
  }
  *table_offset = static_cast<uint32_t>(writer.position());
  i = 0;
  for (NpkFileEntity* e = package->first; e != nullptr; e = e->next, ++i) {
    Planned& p = (*plan)[i];
    if (writer.position() > INT32_MAX) return NPK_ERROR_NO_PLACE;
    p.record_position = static_cast<int32_t>(writer.position());
    p.record.name_length = static_cast<uint16_t>(e->name.size());
    uint8_t r[kNpkRecordSize];
    PutU32(r, p.record.data_offset);
    PutU32(r + 4, p.record.stored_size);
    PutU32(r + 8, p.record.unpacked_size);
    PutU32(r + 12, p.record.flags);
    PutU32(r + 16, p.record.modified.low);
    PutU32(r + 20, p.record.modified.high);
    PutU16(r + 24, p.record.name_length);
    PutU16(r + 26, p.record.reserved);
    int32_t code = writer.Write(r, sizeof r, kNpkStageEntityRecord, e->name.c_str());
    if (code == NPK_SUCCESS)
      code = writer.Write(e->name.data(), e->name.size(), kNpkStageEntityRecord, e->name.c_str());
    if (code != NPK_SUCCESS) return code;
  }
  int32_t code = writer.Flush();
  if (code != NPK_SUCCESS) return code;

  uint8_t head[kNpkDataOffset];
  memcpy(head, "NPAK", 4);
  PutU32(head + 4, kNpkVersion);
  PutU32(head + 8, static_cast<uint32_t>(count));
  PutU32(head + 12, *table_offset);
  PutU32(head + 16, kNpkDataOffset);
  for (int k = 0; k < 4; ++k) PutU32(head + 20 + 4 * k, package->new_key[k]);
  Writer header_writer(package, out, 0);
  code = header_writer.Write(head, sizeof head, kNpkStageHeader, package->path.c_str());
  if (code == NPK_SUCCESS) code = header_writer.Flush();
  if (code != NPK_SUCCESS) return code;
  if (!out->Sync()) return WriteErrorCode();
  return NPK_SUCCESS;
}

void Commit(NpkFile* package, const std::vector<Planned>& plan, uint32_t table_offset) {
  size_t i = 0;
  uint32_t count = 0;
  for (NpkFileEntity* e = package->first; e != nullptr; e = e->next, ++i, ++count) {
    e->info = plan[i].record;
    e->record_position = plan[i].record_position;
    e->pending_source.clear();
  }
  package->header.version = kNpkVersion;
  package->header.entity_count = count;
  package->header.table_offset = table_offset;
  package->header.data_offset = kNpkDataOffset;
  memcpy(package->key, package->new_key, sizeof package->key);
  package->key_changed = false;
  package->modified = false;
}

}  // namespace

int32_t NpkSave(NpkFile* package, const char* target, bool overwrite) {
  // Another spelling of the package's own path is in place too: creating
  // it empty as a separate target would destroy the blocks being copied.
  bool in_place = target == nullptr || target[0] == '\0' ||
                  platform::EqualsNoCase(target, package->path) ||
                  (!package->path.empty() &&
                   platform::SameFile(target, package->path));
  if (in_place && package->path.empty()) return Result(NPK_ERROR_NO_SAVE_PATH);
  if (package->header.version == 0) return Result(NPK_ERROR_NOT_OPENED);
  if (!in_place && strlen(target) > kNpkMaxPath) return Result(NPK_ERROR_BAD_PATH);
  // The temporary file is ours: one left by an earlier crash is replaced.
  std::string out_path = in_place ? package->path + "_" : std::string(target);
  platform::RangeFile out;
  if (!out.Create(out_path, in_place || overwrite)) {
    return Result(platform::GetLastSystemError() == platform::kErrorFileExists
                      ? NPK_TARGET_EXISTS
                      : NPK_ERROR_CANNOT_CREATE);
  }

  out.WriteBackEarly();  // the file is flushed before the save returns
  std::vector<Planned> plan;
  uint32_t table_offset = 0;
  int32_t code;
  try {
    code = WritePackage(package, &out, in_place, &plan, &table_offset);
  } catch (const std::bad_alloc&) {
    code = NPK_ERROR_OUT_OF_MEMORY;
  }
  out.Close();
  if (code != NPK_SUCCESS) return Result(code);  // the old file stays open and whole

  if (in_place) {
    // Rename over the package (never delete it first), then make the rename
    // itself durable.
    package->file.Close();
    if (!platform::ReplaceFileReleasingOldLater(out_path, package->path)) {
      code = WriteErrorCode();
      package->file.Open(package->path, platform::File::kRead | platform::File::kWrite,
                         platform::File::Mode::kOpenExisting);
      return Result(code);
    }
    std::string folder = platform::DirectoryPart(package->path);
    platform::SyncDirectory(folder.empty() ? std::string(".") : folder);
  } else {
    package->file.Close();
    package->path = target;
  }
  Commit(package, plan, table_offset);
  if (!package->file.Open(package->path, platform::File::kRead | platform::File::kWrite,
                          platform::File::Mode::kOpenExisting))
    return Result(NPK_ERROR_FILE_OPEN);  // saved, but cannot be read on from here
  return Result(NPK_SUCCESS);
}

}  // namespace kivro
