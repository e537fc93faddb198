// CVrelMiniunz: unpacks every entry of a zip archive into a folder, with
// folders and always overwriting, reporting progress and asking the stop
// query between pieces.
//
// Archive names are outside input: an entry whose name is absolute, carries
// a drive letter or climbs with "..", or does not fit a path, is refused and
// nothing is written outside the destination folder. Each file is unpacked
// into a temporary file beside its target and put in place only when its
// CRC matched, so a corrupt archive never leaves a half-written file.
//
// Not shared between threads: the applier's thread owns it.
#pragma once
#include <cstdint>

#include "patch/patch_codes.h"
#include "update/fixed_text.h"
#include "update/roles.h"

namespace kivro {

class CVrelMiniunz {
 public:
  CVrelMiniunz(CancelCheckFn stop_query, FileTextFn file_callback,
               ApplyProgressFn progress_callback, PercentFn percent_callback);

  // Unpacks `archive` into `folder` (Windows paths). 0 done, 1 stopped, else
  // a code above or a negative minizip code (bad archive, CRC mismatch).
  int32_t ExtractArchive(const char* archive, const char* folder);

 private:
  int32_t ExtractEntry(void* zip, uint8_t* buffer, uint32_t buffer_size);
  void ReportProgress();

  int32_t bytes_written_ = 0;  // kept for the progress callbacks (int32)
  int32_t last_percent_ = 0;
  char destination_folder_[kTextSize] = {};
  char file_name_[kTextSize] = {};
  CancelCheckFn stop_query_;
  FileTextFn file_callback_;
  ApplyProgressFn progress_callback_;
  PercentFn percent_callback_;
  // Progress runs over the whole archive: its total unpacked size, and the
  // bytes written so far in 64 bits.
  uint64_t archive_total_ = 0;
  uint64_t archive_done_ = 0;
};

}  // namespace kivro
