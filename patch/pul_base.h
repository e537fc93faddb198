// Reader of the list-patch format: a header (VERSION, DIRECTORY), a
// [LIST_PATCH] section naming the patch archives with a use flag, and one
// [PATCH_<name>] section per patch listing the files it installs. Lines are
// split as in the ".vrl" patch list (LineTokenizer, list dates).
//
// Not shared between threads: one worker resets and reads it, then reads the
// fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "patch/line_tokenizer.h"
#include "update/fixed_text.h"

namespace kivro {

// A list holds at most this many records (archive entries and file records
// together), the same bound as the ".vrl" list's: each record is about
// 0.8 KiB here and may become a download item and a mismatch later, so the
// bound keeps the check well below 600 MiB. Past it the rest of the list is
// read without keeping anything and the list is refused as a whole (code 2,
// "more than 250000 records"). Real lists hold a few hundred.
constexpr int32_t kPulMaxRecords = 250000;

enum PulSection : int32_t {
  kPulSectionOther = 0,
  kPulSectionHeader = 1,
  kPulSectionListPatch = 2,
  kPulSectionPatch = 3,
};

struct PulListEntry {
  int32_t use = 0;  // nonzero: an archive to fetch; 0: an archive to delete
  char name[kTextSize] = {};
};

struct PulFileRecord {
  char directory[kTextSize] = {};  // as on the directory line, beginning with "/"
  char name[kTextSize] = {};
  char note[kTextSize] = {};
  uint32_t checksum = 0;  // FileByteSum
  uint32_t size = 0;
  int64_t time = 0;  // local calendar seconds; 0 when the date does not parse
};

class CPulBase {
 public:
  CPulBase() = default;
  CPulBase(const CPulBase&) = delete;
  CPulBase& operator=(const CPulBase&) = delete;
  virtual ~CPulBase() = default;

  // Reads a list file (a Windows path); true when it could be opened. The
  // caller resets the reader before each read.
  bool Read(const char* path);
  // The same over bytes in memory.
  void ReadBuffer(const char* data, size_t length);
  void Reset();
  // True when the list held more than kPulMaxRecords records.
  bool TooLarge() const { return record_count > kPulMaxRecords; }

  int32_t line_count = 0;
  // Records met so far (kept or not).
  int32_t record_count = 0;
  int32_t current_section = kPulSectionOther;
  std::string current_patch;
  LineTokenizer tokenizer;
  std::string current_directory;
  int32_t header_key_count = 0;
  std::string newest_version;
  std::string archive_folder;
  std::vector<std::unique_ptr<PulListEntry>> entries;
  std::vector<std::unique_ptr<PulFileRecord>> files;

 private:
  // Parses one line; `files` is complete only after the whole read.
  void ParseLine(const char* line);
  // Drops the slots of overridden file records, keeping the order.
  void DropOverridden();
  // The next field; a missing one reads as the previous field's text.
  const std::string& Field(bool first);
  std::string token_;
  // Position in `files` of each file record by directory and name (exact),
  // for the override rule. An overridden record's slot is emptied and the
  // empty slots are dropped once at the end of the read: erasing each one
  // as it came would cost time in the square of the list's length.
  std::unordered_map<std::string, size_t> file_index_;
  size_t overridden_ = 0;
};

// Compares two version texts "a.b.c" (split at the first and the last dot,
// each part read as a decimal number; missing parts count as 0): 1 when `a`
// is older, -1 when newer, 0 when equal.
int32_t CompareVersions(const char* a, const char* b);

}  // namespace kivro
