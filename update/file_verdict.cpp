#include "update/file_verdict.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/debug.h"
#include "platform/file_inside.h"
#include "platform/paths.h"
#include "update/last_error.h"
#include "update/result_codes.h"

namespace kivro {

std::string FileMismatchText(const ManifestEntry& entry, bool hashed, const uint8_t digest[32],
                             uint64_t size, const std::string& url_path, const std::string& host) {
  if (hashed && size == entry.size && std::memcmp(digest, entry.sha256, 32) == 0) return {};
  char text[256];
  if (!hashed) {
    snprintf(text, sizeof text, "FILE [%.120s] CANNOT BE READ OR HASHED FOR ITS CHECK (HOST %.60s)",
             url_path.c_str(), host.c_str());
  } else if (size != entry.size) {
    snprintf(text, sizeof text,
             "FILE [%.120s] DOES NOT MATCH THE SIGNED MANIFEST: %" PRIu64 " BYTES, NOT %" PRIu64
             " (HOST %.60s)",
             url_path.c_str(), size, entry.size, host.c_str());
  } else {
    snprintf(text, sizeof text,
             "FILE [%.120s] DOES NOT MATCH THE SIGNED MANIFEST: SHA-256 DIFFERS (HOST %.60s)",
             url_path.c_str(), host.c_str());
  }
  return text;
}

FileVerdict::FileVerdict(const ManifestEntry& entry, std::string local_path, std::string url_path,
                         std::string host)
    : local_path_(std::move(local_path)), url_path_(std::move(url_path)), host_(std::move(host)) {
  entry_.size = entry.size;
  std::memcpy(entry_.sha256, entry.sha256, sizeof entry_.sha256);
}

void FileVerdict::Settle(bool hashed, const uint8_t digest[32], uint64_t size) {
  std::string mismatch = FileMismatchText(entry_, hashed, digest, size, url_path_, host_);
  if (!mismatch.empty()) {
    // Deleted before anyone can learn the verdict, so nobody who waited for
    // it finds the file still there; in its own folder and never through a
    // link planted at its name (file_inside.h: the link stays, and neither
    // the file it points to nor its attributes change).
    platform::RemoveFileInside(platform::DirectoryPart(local_path_), local_path_);
    platform::DebugPrintf("[release] %s\n", mismatch.c_str());
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    mismatch_ = std::move(mismatch);
    settled_ = true;
  }
  settled_cv_.notify_all();
}

bool FileVerdict::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  settled_cv_.wait(lock, [this] { return settled_; });
  return mismatch_.empty();
}

int32_t FileVerdict::Await() {
  if (Wait()) return 0;
  SetLastErrorInfo(kReleaseFileMismatch, 0, mismatch_.c_str());
  return kReleaseFileMismatch;
}

}  // namespace kivro
