#include "tools/kivro_publish_zip.h"

#include <zip.h>

#include <algorithm>
#include <vector>

#include "patch/zip_file_io.h"
#include "platform/file.h"
#include "platform/filetime.h"

namespace kivro {

namespace {

constexpr uint32_t kMadeByUnix = 3 << 8;  // "version made by": Unix, zip 2.0
constexpr uint32_t kRegularFile = 0100000;
constexpr size_t kPiece = 1 << 20;

void FillDate(int64_t list_time, zip_fileinfo* info) {
  platform::CalendarTime c = platform::SecondsToCalendar(list_time);
  // DOS dates start in 1980.
  if (c.year < 1980) c = platform::CalendarTime{1980, 1, 1, 0, 0, 0};
  info->tmz_date.tm_sec = static_cast<uInt>(c.second);
  info->tmz_date.tm_min = static_cast<uInt>(c.minute);
  info->tmz_date.tm_hour = static_cast<uInt>(c.hour);
  info->tmz_date.tm_mday = static_cast<uInt>(c.day);
  info->tmz_date.tm_mon = static_cast<uInt>(c.month - 1);
  info->tmz_date.tm_year = static_cast<uInt>(c.year);
  info->dosDate = 0;
}

bool WriteEntry(zipFile zip, const ZipSource& source, std::string* error) {
  uint64_t size = 0;
  platform::File in;
  if (source.bytes != nullptr) {
    size = source.bytes->size();
  } else {
    if (!in.Open(source.file_path, platform::File::kRead, platform::File::Mode::kOpenExisting)) {
      *error = "cannot read " + source.file_path;
      return false;
    }
    size = static_cast<uint64_t>(in.Size());
  }
  zip_fileinfo info = {};
  FillDate(source.list_time, &info);
  info.internal_fa = 0;
  info.external_fa = static_cast<uLong>((kRegularFile | (source.mode & 07777)) << 16);
  int zip64 = size >= 0xffffffffULL ? 1 : 0;
  if (zipOpenNewFileInZip4_64(zip, source.entry_name.c_str(), &info, nullptr, 0, nullptr, 0,
                              nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
                              DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kMadeByUnix | 20, 0,
                              zip64) != ZIP_OK) {
    *error = "cannot add " + source.entry_name;
    return false;
  }
  bool ok = true;
  if (source.bytes != nullptr) {
    for (size_t done = 0; ok && done < source.bytes->size(); done += kPiece) {
      size_t n = std::min(kPiece, source.bytes->size() - done);
      ok =
          zipWriteInFileInZip(zip, source.bytes->data() + done, static_cast<unsigned>(n)) == ZIP_OK;
    }
  } else {
    std::vector<char> buffer(kPiece);
    for (;;) {
      int64_t n = in.Read(buffer.data(), buffer.size());
      if (n < 0) ok = false;
      if (n <= 0) break;
      if (zipWriteInFileInZip(zip, buffer.data(), static_cast<unsigned>(n)) != ZIP_OK) {
        ok = false;
        break;
      }
    }
  }
  if (zipCloseFileInZip(zip) != ZIP_OK) ok = false;
  if (!ok) *error = "cannot write " + source.entry_name;
  return ok;
}

}  // namespace

bool WriteZip(const std::string& archive_path, const std::vector<ZipSource>& entries,
              std::string* error) {
  platform::CreateParentDirectories(archive_path);
  zlib_filefunc64_def functions;
  FillPlatformFileFunctions(&functions);
  zipFile zip = zipOpen2_64(archive_path.c_str(), APPEND_STATUS_CREATE, nullptr, &functions);
  if (zip == nullptr) {
    *error = "cannot create " + archive_path;
    return false;
  }
  bool ok = true;
  for (const ZipSource& source : entries) {
    if (!WriteEntry(zip, source, error)) {
      ok = false;
      break;
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK && ok) {
    *error = "cannot finish " + archive_path;
    ok = false;
  }
  return ok;
}

}  // namespace kivro
