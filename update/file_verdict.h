// The verdict on one fetched file of a signed release: does it match its
// manifest entry? A fetch that hashes the file as it arrives can hand the
// verdict on instead of waiting for the last bytes to be hashed; whoever
// installs the file waits for it first (Await).
//
// A file that does not match is deleted as soon as its hash is known,
// whether or not anybody waits for the verdict, so it never lingers where
// it could be taken for a checked one.
//
// Thread safety: Settle is called once, on any thread; Await and Wait may be
// called from any thread, before or after it.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "update/release_manifest.h"

namespace kivro {

// The reason a file fails its entry ("FILE [...] DOES NOT MATCH ..."), or
// an empty text when it matches. `url_path` and `host` only name the file.
std::string FileMismatchText(const ManifestEntry& entry, bool hashed, const uint8_t digest[32],
                             uint64_t size, const std::string& url_path, const std::string& host);

class FileVerdict {
 public:
  // Copies what it needs: the manifest may be replaced before the verdict.
  FileVerdict(const ManifestEntry& entry, std::string local_path, std::string url_path,
              std::string host);
  FileVerdict(const FileVerdict&) = delete;
  FileVerdict& operator=(const FileVerdict&) = delete;

  // The file's hash is known: a mismatch deletes the file now.
  void Settle(bool hashed, const uint8_t digest[32], uint64_t size);
  // Waits for Settle: 0 when the file matches, else kReleaseFileMismatch with
  // the reason written to the last-error record.
  int32_t Await();
  // Waits for Settle and only says whether the file matches; records nothing
  // (for a file whose fetch no longer matters, e.g. after another failure).
  bool Wait();
  // The local file the verdict is on.
  const std::string& local_path() const { return local_path_; }

 private:
  ManifestEntry entry_;  // path unused: the URL names the file in messages
  const std::string local_path_, url_path_, host_;
  std::mutex mutex_;
  std::condition_variable settled_cv_;
  bool settled_ = false;
  std::string mismatch_;  // empty when the file matches
};

}  // namespace kivro
