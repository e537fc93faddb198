// Records of a parsed ".vrl" patch list. Fixed text fields never overflow:
// the reader drops a record whose name or path does not fit (see CVrelBase).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "patch/vrel_apply_info.h"

namespace kivro {

constexpr size_t kVrelNameSize = 100;  // 99 characters and the terminator

// A plain file of a directory. In uninstall directories only the name is set.
struct VrelFileRecord {
  char name[kVrelNameSize] = {};
  uint32_t checksum = 0;      // FileByteSum of the file
  uint32_t size = 0;          // bytes
  uint32_t archive_size = 0;  // bytes of the file's ".zip" on the server
  int64_t time = 0;           // local calendar seconds
};

struct VrelDirectory {
  int32_t keyword = 0;            // 1 when the line began with "<"
  char path[kVrelNameSize] = {};  // backslash-separated
  std::vector<VrelFileRecord> files;
};

// The header of a package file as the list gives it (zero when not given).
struct NpkHeaderImage {
  char signature[4] = {};
  uint32_t version = 0;
  uint32_t entity_count = 0;
  uint32_t table_offset = 0;
  uint32_t data_offset = 0;
  uint32_t key[4] = {};
};

class CNpkEntity {
 public:
  virtual ~CNpkEntity() = default;
  char name[kTextSize] = {};  // "^" stands for a backslash inside the package
  EntityInfoImage info;       // zero when not given
  uint32_t checksum = 0;
  uint32_t size = 0;
  uint32_t archive_size = 0;
  int64_t time = 0;
};

class CNpkPackage {
 public:
  virtual ~CNpkPackage() = default;
  char name[kTextSize] = {};  // the package file name
  NpkHeaderImage header;
  std::vector<std::unique_ptr<CNpkEntity>> entities;
  uint32_t checksum = 0;
  uint32_t size = 0;
  uint32_t archive_size = 0;
  int64_t time = 0;
};

class CNpkPackageBag {
 public:
  virtual ~CNpkPackageBag() = default;
  int32_t keyword = 0;
  char path[kTextSize] = {};
  std::vector<std::unique_ptr<CNpkPackage>> packages;
};

}  // namespace kivro
