// The comparisons of an installed file against its list record, as the verify
// flags name them: shared by the patch infos' Verify and by the ".vrl" list's
// comparison when it builds the download list.
#pragma once
#include <cstdint>
#include <string>

#include "platform/filetime.h"
#include "update/verify_rules.h"

// What the list says about a file.

namespace kivro {

struct ListedFile {
  uint32_t size = 0;
  int64_t time = 0;  // list time: local calendar seconds
  uint32_t checksum = 0;
};

enum class VerifyReport {
  kFirstFailure,  // the checksum (a read of the whole file) only when all else agreed
  kEveryFailure,  // every comparison asked for, to report each that fails
};

// The flags, among those asked for, whose comparison the file at `path` fails
// (0: it matches). disk_size and disk_write are the file's as read from disk;
// the size compares in its low 32 bits.
int32_t FailedVerifyChecks(int32_t flags, const std::string& path, uint64_t disk_size,
                           platform::FileTime disk_write, const ListedFile& listed,
                           VerifyReport report);

}  // namespace kivro
