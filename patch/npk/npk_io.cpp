#include "patch/npk/npk_io.h"

#include <algorithm>
#include <cstring>

#include "platform/error.h"

namespace kivro::npk_internal {

int32_t OpenErrorCode() {
  switch (platform::GetLastSystemError()) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound:
      return NPK_ERROR_FILE_NOT_FOUND;
    default:
      return NPK_ERROR_FILE_OPEN;
  }
}

int32_t WriteErrorCode() {
  switch (platform::GetLastSystemError()) {
    case platform::kErrorDiskFull:
      return NPK_ERROR_DISK_FULL;
    case platform::kErrorAccessDenied:
      return NPK_ERROR_ACCESS_DENIED;
    default:
      return NPK_ERROR_WRITE;
  }
}

int32_t ReadErrorCode() {
  return platform::GetLastSystemError() == platform::kErrorAccessDenied ? NPK_ERROR_ACCESS_DENIED
                                                                        : NPK_ERROR_SHORT_READ;
}

namespace {

size_t PieceSize(const NpkFile* package) {
  if (package->progress == nullptr) return kLargePiece;
  return package->chunk_size > 0 ? static_cast<size_t>(package->chunk_size) : SIZE_MAX;
}

bool Report(NpkFile* package, int32_t direction, int32_t stage, const char* name, size_t done,
            size_t total) {
  if (package->progress == nullptr) return true;
  auto clamp = [](size_t v) { return static_cast<int32_t>(std::min<size_t>(v, INT32_MAX)); };
  return package->progress(direction, stage, name, clamp(done), clamp(total));
}

}  // namespace

int32_t ReadAt(NpkFile* package, platform::File* file, uint64_t offset, void* buffer, size_t length,
               int32_t stage, const char* name) {
  size_t piece = PieceSize(package);
  size_t done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < length) {
    if (!Report(package, kNpkReading, stage, name, done, length)) return NPK_ERROR_STOPPED;
    size_t want = std::min(piece, length - done);
    int64_t got = file->ReadAt(out + done, want, offset + done);
    if (got < 0) return ReadErrorCode();
    if (got == 0) return NPK_ERROR_SHORT_READ;
    done += static_cast<size_t>(got);
  }
  if (!Report(package, kNpkReading, stage, name, done, length)) return NPK_ERROR_STOPPED;
  return NPK_SUCCESS;
}

Writer::Writer(NpkFile* package, platform::RangeFile* file, uint64_t start)
    : package_(package), file_(file), position_(start), file_position_(start) {}

int32_t Writer::Copy(platform::RangeFile* source, uint64_t offset, uint64_t length) {
  if (copy_length_ > 0 && (source != copy_source_ || offset != copy_offset_ + copy_length_)) {
    int32_t rc = FlushCopy();
    if (rc != NPK_SUCCESS) return rc;
  }
  if (copy_length_ == 0) {
    int32_t rc = Flush();  // buffered bytes go before the copy
    if (rc != NPK_SUCCESS) return rc;
    copy_source_ = source;
    copy_offset_ = offset;
  }
  copy_length_ += length;
  position_ += length;
  return NPK_SUCCESS;
}

int32_t Writer::FlushCopy() {
  if (copy_length_ == 0) return NPK_SUCCESS;
  uint64_t length = copy_length_;
  copy_length_ = 0;
  if (!file_->CopyFrom(copy_source_, copy_offset_, length, file_position_))
    return platform::GetLastSystemError() == platform::kErrorHandleEof ? NPK_ERROR_SHORT_READ
                                                                       : WriteErrorCode();
  file_position_ += length;
  return NPK_SUCCESS;
}

int32_t Writer::Write(const void* data, size_t length, int32_t stage, const char* name) {
  int32_t copied = FlushCopy();
  if (copied != NPK_SUCCESS) return copied;
  if (package_->progress != nullptr || length >= kLargePiece) {
    int32_t rc = Flush();
    if (rc != NPK_SUCCESS) return rc;
    rc = WriteThrough(data, length, stage, name);
    if (rc != NPK_SUCCESS) return rc;
    position_ += length;
    file_position_ = position_;
    return NPK_SUCCESS;
  }
  if (buffer_.size() + length > kLargePiece) {
    int32_t rc = Flush();
    if (rc != NPK_SUCCESS) return rc;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + length);
  position_ += length;
  return NPK_SUCCESS;
}

int32_t Writer::Flush() {
  int32_t copied = FlushCopy();
  if (copied != NPK_SUCCESS) return copied;
  if (buffer_.empty()) return NPK_SUCCESS;
  if (!file_->WriteAt(buffer_.data(), buffer_.size(), file_position_)) return WriteErrorCode();
  file_position_ += buffer_.size();
  buffer_.clear();
  return NPK_SUCCESS;
}

int32_t Writer::WriteThrough(const void* data, size_t length, int32_t stage, const char* name) {
  size_t piece = PieceSize(package_);
  size_t done = 0;
  const auto* in = static_cast<const uint8_t*>(data);
  while (done < length) {
    if (!Report(package_, kNpkWriting, stage, name, done, length)) return NPK_ERROR_STOPPED;
    size_t n = std::min(piece, length - done);
    if (!file_->WriteAt(in + done, n, file_position_ + done)) return WriteErrorCode();
    done += n;
  }
  if (!Report(package_, kNpkWriting, stage, name, done, length)) return NPK_ERROR_STOPPED;
  return NPK_SUCCESS;
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace kivro::npk_internal
