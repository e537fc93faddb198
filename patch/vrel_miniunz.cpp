#include "patch/vrel_miniunz.h"

#include <unzip.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "patch/install_path_guard.h"
#include "patch/zip_file_io.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/file_mode.h"
#include "platform/filetime.h"

namespace kivro {

namespace {

// Larger than the classic 8 KiB piece: fewer write calls and stop queries
// per megabyte, which is most of the unpacking cost besides inflate.
constexpr uint32_t kBufferSize = 64 * 1024;
// Entry names are read into 256 bytes; a longer one is refused, never cut.
constexpr uint32_t kNameBytes = 256;
// Suffix of the temporary file an entry is unpacked into.
constexpr char kPartSuffix[] = ".kvpart";
// Unix in the high byte of "version made by": external attributes carry the
// permission bits in their high 16 bits.
constexpr uint32_t kMadeByUnix = 3;

int32_t Clamp32(uint64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

bool DosDateToFileTime(const tm_unz& d, platform::FileTime* out) {
  if (d.tm_year < 1980 || d.tm_year > 2107 || d.tm_mon > 11 || d.tm_mday < 1 || d.tm_mday > 31 ||
      d.tm_hour > 23 || d.tm_min > 59 || d.tm_sec > 59)
    return false;
  platform::CalendarTime c;
  c.year = static_cast<int>(d.tm_year);
  c.month = static_cast<int>(d.tm_mon) + 1;
  c.day = static_cast<int>(d.tm_mday);
  c.hour = static_cast<int>(d.tm_hour);
  c.minute = static_cast<int>(d.tm_min);
  c.second = static_cast<int>(d.tm_sec);
  // DOS dates are local calendar times.
  *out = platform::UnixToFileTime(platform::LocalSecondsToUtc(platform::CalendarToSeconds(c)));
  return true;
}

// Sum of the entries' unpacked sizes (for progress), leaving the reader on
// the first entry. Claimed sizes are only numbers here; they saturate.
uint64_t ArchiveTotal(unzFile zip) {
  uint64_t total = 0;
  for (int r = unzGoToFirstFile(zip); r == UNZ_OK; r = unzGoToNextFile(zip)) {
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    uint64_t next = total + info.uncompressed_size;
    total = next < total ? UINT64_MAX : next;
  }
  unzGoToFirstFile(zip);
  return total;
}

}  // namespace

CVrelMiniunz::CVrelMiniunz(CancelCheckFn stop_query, FileTextFn file_callback,
                           ApplyProgressFn progress_callback, PercentFn percent_callback)
    : stop_query_(stop_query),
      file_callback_(file_callback),
      progress_callback_(progress_callback),
      percent_callback_(percent_callback) {}

void CVrelMiniunz::ReportProgress() {
  bytes_written_ = Clamp32(archive_done_);
  if (percent_callback_ != nullptr) {
    int32_t percent = ProgressPercent(archive_done_, archive_total_);
    if (percent != last_percent_) {
      last_percent_ = percent;
      percent_callback_(percent);
    }
  } else if (progress_callback_ != nullptr) {
    progress_callback_(Clamp32(archive_total_), bytes_written_);
  }
}

int32_t CVrelMiniunz::ExtractArchive(const char* archive, const char* folder) {
  bytes_written_ = 0;
  last_percent_ = 0;
  archive_total_ = 0;
  archive_done_ = 0;
  if (!CopyText(destination_folder_, folder)) return kUnzPathTooLong;
  if (archive == nullptr) return kUnzCannotOpen;

  zlib_filefunc64_def functions;
  FillPlatformFileFunctions(&functions);
  unzFile zip = unzOpen2_64(archive, &functions);
  if (zip == nullptr) return kUnzCannotOpen;
  unz_global_info64 global;
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
    unzClose(zip);
    return kUnzNoGlobalInfo;
  }
  if (global.number_entry == 0) {
    unzClose(zip);
    return 0;
  }
  archive_total_ = ArchiveTotal(zip);

  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kBufferSize]);
  if (buffer == nullptr) {
    unzClose(zip);
    return kUnzOutOfMemory;
  }
  int32_t result = 0;
  for (;;) {
    result = ExtractEntry(zip, buffer.get(), kBufferSize);
    if (result != 0) break;
    int r = unzGoToNextFile(zip);
    if (r == UNZ_END_OF_LIST_OF_FILE) break;
    if (r != UNZ_OK) {
      result = kUnzCannotMoveNext;
      break;
    }
  }
  unzClose(zip);
  return result;
}

int32_t CVrelMiniunz::ExtractEntry(void* handle, uint8_t* buffer, uint32_t buffer_size) {
  unzFile zip = static_cast<unzFile>(handle);
  unz_file_info64 info;
  char raw_name[kNameBytes + 1] = {};
  if (unzGetCurrentFileInfo64(zip, &info, raw_name, kNameBytes, nullptr, 0, nullptr, 0) != UNZ_OK)
    return kUnzNoEntryInfo;
  if (info.size_filename > kNameBytes) return kUnzPathTooLong;
  // A NUL inside the stored name would hide the rest of it.
  if (strlen(raw_name) != info.size_filename) return kUnzEntryNameRefused;
  // Names flagged as UTF-8 are turned into the system's code page; others
  // are taken as written (our archives carry code page 949 names).
  std::string name = (info.flag & 0x800) ? platform::Utf8ToCp949(raw_name) : raw_name;
  if (!IsSafeRelativeName(name.c_str())) return kUnzEntryNameRefused;
  CopyText(file_name_, name.c_str());

  std::string target = std::string(destination_folder_) + "\\" + name;
  for (char& c : target)
    if (c == '/') c = '\\';
  bool is_folder = name.back() == '/' || name.back() == '\\';
  if (is_folder) target.pop_back();
  if (target.size() >= kTextSize) return kUnzPathTooLong;
  if (is_folder) {
    platform::CreateDirectoryChain(target);
    return 0;
  }

  if (file_callback_ != nullptr) {
    size_t slash = target.rfind('\\');
    file_callback_(target.c_str() + (slash == std::string::npos ? 0 : slash + 1));
  }

  int r = unzOpenCurrentFile(zip);
  if (r != UNZ_OK) {
    unzCloseCurrentFile(zip);
    return r;
  }
  std::string part = target + kPartSuffix;
  platform::File out;
  const int access = platform::File::kWrite;
  if (!out.Open(part, access, platform::File::Mode::kCreateAlways)) {
    platform::CreateParentDirectories(target);
    if (!out.Open(part, access, platform::File::Mode::kCreateAlways)) {
      // A target that cannot be created is skipped; the archive still
      // counts as unpacked.
      unzCloseCurrentFile(zip);
      return 0;
    }
  }

  int32_t error = 0;
  uint64_t written = 0;
  for (;;) {
    int n = unzReadCurrentFile(zip, buffer, buffer_size);
    if (n < 0) {
      error = n;
      break;
    }
    if (n == 0) break;
    if (!out.Write(buffer, static_cast<size_t>(n))) {
      error = -1;
      break;
    }
    if (stop_query_ != nullptr && stop_query_() == 1) {
      error = 1;
      break;
    }
    written += static_cast<uint64_t>(n);
    archive_done_ += static_cast<uint64_t>(n);
    ReportProgress();
  }
  out.Close();

  // minizip checks the CRC only when the whole declared size came out; a
  // corrupt stream that ends early must fail too.
  if (error == 0 && written != info.uncompressed_size) {
    unzCloseCurrentFile(zip);
    error = UNZ_BADZIPFILE;
  } else if (error == 0) {
    // Closing the entry checks its CRC.
    error = unzCloseCurrentFile(zip);
    if (error == UNZ_OK) {
      platform::FileTime t;
      if (DosDateToFileTime(info.tmu_date, &t)) platform::SetFileTimes(part, &t, nullptr, &t);
      if ((info.version >> 8) == kMadeByUnix)
        platform::AddExecuteBits(part, info.external_fa >> 16);
      platform::SetPathAttributes(target, platform::kAttrNormal);
      if (!platform::ReplacePath(part, target)) {
        // The target cannot be created (a folder stands there, or it is
        // locked): skipped like a target that cannot be opened.
        platform::RemoveFile(part);
        return 0;
      }
    }
  } else {
    unzCloseCurrentFile(zip);
  }
  if (error != 0) platform::RemoveFile(part);
  if (error == -1) return kUnzWriteFailed;
  return error;
}

}  // namespace kivro
