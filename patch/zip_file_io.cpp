#include "patch/zip_file_io.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/file.h"

namespace kivro {

namespace {

// minizip reads headers a byte or a word at a time; the buffer keeps that
// from becoming a system call per byte, as stdio's buffer does for fopen.
constexpr size_t kBuffer = 64 * 1024;

struct ZipFile {
  platform::File file;
  uint64_t position = 0;      // logical position
  uint64_t buffer_start = 0;  // file offset of buffer[0]
  size_t buffer_length = 0;   // valid bytes in the buffer
  // Size of an archive opened for reading: hostile headers make minizip
  // read past the end a byte at a time, which then costs no system call.
  int64_t read_only_size = -1;
  char buffer[kBuffer];
};

voidpf OpenFile(voidpf, const void* filename, int mode) {
  if (filename == nullptr) return nullptr;
  auto* z = new (std::nothrow) ZipFile;
  if (z == nullptr) return nullptr;
  const char* path = static_cast<const char*>(filename);
  bool ok;
  if (mode & ZLIB_FILEFUNC_MODE_CREATE)
    ok = z->file.Open(path, platform::File::kRead | platform::File::kWrite,
                      platform::File::Mode::kCreateAlways);
  else if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ)
    ok = z->file.Open(path, platform::File::kRead, platform::File::Mode::kOpenExisting) &&
         (z->read_only_size = z->file.Size()) >= 0;
  else
    ok = z->file.Open(path, platform::File::kRead | platform::File::kWrite,
                      platform::File::Mode::kOpenExisting);
  if (!ok) {
    delete z;
    return nullptr;
  }
  return z;
}

uLong ReadFile(voidpf, voidpf stream, void* out, uLong size) {
  auto* z = static_cast<ZipFile*>(stream);
  char* dst = static_cast<char*>(out);
  uLong done = 0;
  while (done < size) {
    uint64_t at = z->position;
    if (z->read_only_size >= 0 && at >= static_cast<uint64_t>(z->read_only_size)) break;
    if (at >= z->buffer_start && at < z->buffer_start + z->buffer_length) {
      size_t offset = static_cast<size_t>(at - z->buffer_start);
      size_t n = std::min<size_t>(z->buffer_length - offset, size - done);
      std::memcpy(dst + done, z->buffer + offset, n);
      done += static_cast<uLong>(n);
      z->position += n;
      continue;
    }
    if (size - done >= kBuffer) {  // large reads go straight to the caller
      int64_t n = z->file.ReadAt(dst + done, size - done, at);
      if (n <= 0) break;
      done += static_cast<uLong>(n);
      z->position += static_cast<uint64_t>(n);
      continue;
    }
    // minizip looks for the central directory by reading the archive's
    // tail backwards a kilobyte at a time; a window that ends at the end
    // of the file serves that whole search from one read.
    uint64_t start = at;
    if (z->read_only_size >= 0) {
      uint64_t size = static_cast<uint64_t>(z->read_only_size);
      if (size - at < kBuffer) start = size > kBuffer ? size - kBuffer : 0;
    }
    int64_t n = z->file.ReadAt(z->buffer, kBuffer, start);
    if (n <= 0 || start + static_cast<uint64_t>(n) <= at) break;
    z->buffer_start = start;
    z->buffer_length = static_cast<size_t>(n);
  }
  return done;
}

uLong WriteFile(voidpf, voidpf stream, const void* data, uLong size) {
  auto* z = static_cast<ZipFile*>(stream);
  z->buffer_length = 0;  // written bytes may overlap what was read
  if (!z->file.WriteAt(data, size, z->position)) return 0;
  z->position += size;
  return size;
}

ZPOS64_T TellFile(voidpf, voidpf stream) { return static_cast<ZipFile*>(stream)->position; }

long SeekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* z = static_cast<ZipFile*>(stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      z->position = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      z->position += offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_END: {
      // The distance back from the end comes as an unsigned value that
      // wrapped (0 or a two's-complement negative).
      int64_t size = z->file.Size();
      if (size < 0) return -1;
      z->position = static_cast<uint64_t>(size) + offset;
      return 0;
    }
    default:
      return -1;
  }
}

int CloseFile(voidpf, voidpf stream) {
  delete static_cast<ZipFile*>(stream);
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

}  // namespace kivro
