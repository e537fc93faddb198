// NPK package files: a header, the data blocks of the entities (named member
// files, possibly enciphered and compressed) and a table that names them.
//
// Layout (little-endian):
//   0  "NPAK"            4  version (18 when written here)
//   8  entity count     12  entity-table offset     16  data offset (36)
//   20 key, four words (only in version 18 and later)
//   then the entity blocks, then the table: per entity a 28-byte record
//   (data offset, stored size, unpacked size, flags, FILETIME low/high,
//   name length uint16, reserved uint16) followed by the name.
//
// Plain functions over NpkFile and NpkFileEntity. Every operation returns 0
// (or a positive value) on success and a negative code on failure, and also
// stores the code in npk_last_error.
//
// Thread safety: one NpkFile belongs to one thread at a time.
// npk_last_error is kept per thread, so packages used on two workers at
// once do not overwrite each other's codes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "patch/npk/npk_progress.h"
#include "platform/file.h"
#include "platform/filetime.h"

namespace kivro {

constexpr uint32_t NPK_FLAG_ENCIPHERED = 0x100;
constexpr uint32_t NPK_FLAG_COMPRESSED = 0x1000;

// Result codes.
enum NpkResult : int32_t {
  NPK_SUCCESS = 0,
  NPK_ERROR_FILE_NOT_FOUND = -1,
  NPK_ERROR_FILE_OPEN = -2,  // cannot be opened, or no valid handle
  NPK_ERROR_WRITE = -3,
  NPK_ERROR_SHORT_READ = -4,
  NPK_ERROR_ACCESS_DENIED = -5,
  NPK_ERROR_CANNOT_CREATE = -6,
  NPK_ERROR_FILE_TIME_READ = -7,
  NPK_ERROR_BAD_PATH = -8,  // missing or longer than 512 characters
  NPK_ERROR_NOT_A_PACKAGE = -9,
  NPK_ERROR_ENTITY_NOT_IN_PACKAGE = -10,
  NPK_ERROR_NO_SAVE_PATH = -12,
  NPK_ERROR_NOT_OPENED = -13,
  NPK_ERROR_EMPTY_SOURCE = -14,
  NPK_ERROR_DUPLICATE_NAME = -15,
  NPK_ERROR_FILE_TIME_SET = -17,
  NPK_ERROR_ALREADY_OPEN = -25,
  NPK_ERROR_INVALID_HANDLE = -26,
  NPK_ERROR_NO_DATA = -28,
  NPK_ERROR_NO_PLACE = -29,
  NPK_ERROR_DECOMPRESS = -30,
  NPK_ERROR_OUT_OF_MEMORY = -100,
  NPK_ERROR_DISK_FULL = -101,
  NPK_ERROR_STOPPED = -200,
  NPK_TARGET_EXISTS = 10,  // saving elsewhere without overwrite
};

constexpr size_t kNpkMaxPath = 512;
constexpr uint32_t kNpkVersion = 18;       // the version written
constexpr uint32_t kNpkKeyedVersion = 18;  // first version with a key
constexpr uint32_t kNpkHeaderSize = 20;
constexpr uint32_t kNpkDataOffset = 36;  // header and key
constexpr uint32_t kNpkRecordSize = 28;
constexpr uint32_t kNpkCompressMinimum = 256;  // smaller content is never compressed
constexpr uint32_t kNpkDefaultKey[4] = {77, 139, 23, 214};
constexpr int32_t kNpkCreatedChunk = 10;      // chunk size as created
constexpr int32_t kNpkApplierChunk = 102400;  // the applier's chunk size

// Process-wide (per thread) code of the last operation.
extern thread_local int32_t npk_last_error;

struct NpkFile;

// The 28-byte table record of an entity.
struct NpkEntityRecord {
  uint32_t data_offset = 0;
  uint32_t stored_size = 0;
  uint32_t unpacked_size = 0;
  uint32_t flags = 0;
  platform::FileTime modified;  // FILETIME, low word first
  uint16_t name_length = 0;
  uint16_t reserved = 0;
};

struct NpkFileEntity {
  NpkFile* owner = nullptr;
  NpkFileEntity* previous = nullptr;
  NpkFileEntity* next = nullptr;
  NpkEntityRecord info;
  int32_t record_position = 0;  // where its record is in the file
  std::string name;             // "\" separates folders inside the package
  std::string pending_source;   // empty: none; else its bytes are the content at the next save
  uint32_t new_flags = 0;       // applied at the next save
};

struct NpkHeader {
  char signature[4] = {'N', 'P', 'A', 'K'};
  uint32_t version = 0;
  uint32_t entity_count = 0;
  uint32_t table_offset = 0;
  uint32_t data_offset = 0;
};

// Hash and equality of entity names without regard to (ASCII) case.
struct NpkNameHash {
  size_t operator()(std::string_view name) const;
};
struct NpkNameEqual {
  bool operator()(std::string_view a, std::string_view b) const;
};
// Entities by name; the keys view the entities' own names.
using NpkNameIndex =
    std::unordered_map<std::string_view, NpkFileEntity*, NpkNameHash, NpkNameEqual>;

// One package. Constructed as "create" makes it: empty chain, version 0, no
// file, chunk size 10, key and new key the default key.
struct NpkFile {
  NpkFile();
  ~NpkFile();  // closes, never saves
  NpkFile(const NpkFile&) = delete;
  NpkFile& operator=(const NpkFile&) = delete;

  NpkFileEntity* current = nullptr;
  NpkFileEntity* first = nullptr;
  NpkFileEntity* last = nullptr;
  NpkHeader header;
  std::string path;     // Windows path of the package file; empty when none
  platform::File file;  // open between NpkOpen and NpkClose (blocks are copied from it at save)
  bool modified = false;
  NpkProgressFn progress = nullptr;
  int32_t chunk_size = kNpkCreatedChunk;
  uint32_t key[4];
  uint32_t new_key[4];
  bool key_changed = false;
  // So NpkFind does not walk the chain.
  NpkNameIndex index;
};

// Opens the package file `path` for reading and writing and reads its table.
int32_t NpkOpen(NpkFile* package, const char* path);
// The entity named `name` (without regard to case), made current; null when
// there is none.
NpkFileEntity* NpkFind(NpkFile* package, const char* name);
// Adds the file `file_path` as an entity named `entity_name` (null: the file
// path's part after its last "\") with `flags`. The file is read at the next
// save, encoded with the flags and the package's new key, so it must exist
// until then.
int32_t NpkAddFile(NpkFile* package, const char* file_path, const char* entity_name,
                   uint32_t flags);
// Unlinks and frees the entity; -10 when it is not in the chain.
int32_t NpkRemove(NpkFile* package, NpkFileEntity* entity);
// The key written (and every entity re-encoded with) at the next save.
void NpkSetKey(NpkFile* package, uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);
// The flags an entity is re-encoded with at the next save.
void NpkSetNewFlags(NpkFileEntity* entity, uint32_t flags);
// Progress callback and the piece size of reads and writes (0: whole).
void NpkSetProgress(NpkFile* package, NpkProgressFn progress, int32_t chunk_size);
// Writes the package to `target` (null or empty or the package's own path:
// in place, through a temporary file "<path>_" that is flushed to disk and
// renamed over the package, so a crash leaves the old or the new file whole).
// `overwrite` false makes an existing other target fail with 10.
int32_t NpkSave(NpkFile* package, const char* target, bool overwrite);
// Frees the chain and closes the file; changes not saved are lost. The
// package can be opened again afterwards.
void NpkClose(NpkFile* package);

// The decoded content of an entity (its unpacked bytes): from the package
// file, or from its pending source file.
int32_t NpkReadEntity(NpkFile* package, NpkFileEntity* entity, std::vector<uint8_t>* content);

// Writes an empty package (version 18, default key) at `path`; with
// `overwrite` false an existing file fails with 10.
int32_t NpkCreatePackage(const char* path, bool overwrite);

// A file's last-write time (-2 open failure, -7 query failure) and setting
// only that time (-2, -17).
int32_t NpkGetFileWriteTime(const char* path, platform::FileTime* time);
int32_t NpkSetFileWriteTime(const char* path, const platform::FileTime& time);

// A short English text for a result code, for tools and logs.
const char* NpkResultText(int32_t code);

}  // namespace kivro
