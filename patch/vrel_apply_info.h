// The apply record of the ".vrl" patch info (and of the manager's
// one-record apply): what the applier does with one downloaded archive, and
// the package entity's entry as the list describes it.
#pragma once
#include <cstdint>

#include "update/fixed_text.h"
#include "update/work_lists.h"

// Apply kinds of CVrelApplyInfo.

namespace kivro {

enum ApplyKind : int32_t {
  kApplyUnpackFile = 1,
  kApplyUnpackEntity = 2,
  kApplyUnpackPackage = 3,
  kApplySetEntityFlags = 4,
  kApplySetPackageKey = 5,
  kApplyUnpackArchive = 6,
  kApplyNothing = 7,
};

// The entity's entry as the list describes it (the package table's record).
struct EntityInfoImage {
  uint32_t data_offset = 0;
  uint32_t stored_size = 0;
  uint32_t unpacked_size = 0;
  uint32_t flags = 0;
  uint32_t time_low = 0;   // FILETIME
  uint32_t time_high = 0;
  uint16_t name_length = 0;
};

// The apply record of the ".vrl" patch info and of the one-record apply.
class CVrelApplyInfo : public CBApplyFileInfo {
 public:
  char source_path[kTextSize] = {};
  int32_t apply_kind = 0;
  int32_t reserved = 1;  // nothing reads it
  uint32_t checksum = 0;
  uint32_t size = 0;
  int64_t time = 0;  // list time: local calendar seconds
  char destination_folder[kTextSize] = {};
  char package_path[kTextSize] = {};
  char entity_name[kTextSize] = {};  // '\' as separator
  int64_t package_time = 0;
  EntityInfoImage entity_info;
  uint32_t package_key[4] = {};
};

}  // namespace kivro
