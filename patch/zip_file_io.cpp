#include "patch/zip_file_io.h"

#include <new>
#include <string>

#include "platform/file.h"

namespace {

voidpf OpenFile(voidpf, const void* filename, int mode) {
  if (filename == nullptr) return nullptr;
  auto* file = new (std::nothrow) platform::File;
  if (file == nullptr) return nullptr;
  bool ok;
  if (mode & ZLIB_FILEFUNC_MODE_CREATE)
    ok = file->Open(static_cast<const char*>(filename),
                    platform::File::kRead | platform::File::kWrite,
                    platform::File::Mode::kCreateAlways);
  else if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ)
    ok = file->Open(static_cast<const char*>(filename), platform::File::kRead,
                    platform::File::Mode::kOpenExisting);
  else
    ok = file->Open(static_cast<const char*>(filename),
                    platform::File::kRead | platform::File::kWrite,
                    platform::File::Mode::kOpenExisting);
  if (!ok) {
    delete file;
    return nullptr;
  }
  return file;
}

uLong ReadFile(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* file = static_cast<platform::File*>(stream);
  uLong done = 0;
  while (done < size) {
    int64_t n = file->Read(static_cast<char*>(buffer) + done, size - done);
    if (n <= 0) break;
    done += static_cast<uLong>(n);
  }
  return done;
}

uLong WriteFile(voidpf, voidpf stream, const void* buffer, uLong size) {
  return static_cast<platform::File*>(stream)->Write(buffer, size) ? size : 0;
}

ZPOS64_T TellFile(voidpf, voidpf stream) {
  int64_t position = static_cast<platform::File*>(stream)->Position();
  return position < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(position);
}

long SeekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* file = static_cast<platform::File*>(stream);
  uint64_t target;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      target = offset;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR: {
      int64_t position = file->Position();
      if (position < 0) return -1;
      target = static_cast<uint64_t>(position) + offset;
      break;
    }
    case ZLIB_FILEFUNC_SEEK_END: {
      // minizip passes the distance back from the end as an unsigned value
      // that wrapped (offset 0 or a two's-complement negative).
      int64_t size = file->Size();
      if (size < 0) return -1;
      target = static_cast<uint64_t>(size) + offset;
      break;
    }
    default:
      return -1;
  }
  return file->Seek(target) ? 0 : -1;
}

int CloseFile(voidpf, voidpf stream) {
  delete static_cast<platform::File*>(stream);
  return 0;
}

int FileError(voidpf, voidpf) { return 0; }

}  // namespace

void FillPlatformFileFunctions(zlib_filefunc64_def* functions) {
  functions->zopen64_file = OpenFile;
  functions->zread_file = ReadFile;
  functions->zwrite_file = WriteFile;
  functions->ztell64_file = TellFile;
  functions->zseek64_file = SeekFile;
  functions->zclose_file = CloseFile;
  functions->zerror_file = FileError;
  functions->opaque = nullptr;
}
