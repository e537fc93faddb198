#include "transfer/swarmlet_engine/http_sources.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/file_inside.h"
#include "platform/thread.h"
#include "transfer/transfer_codes.h"

namespace kivro {

namespace {

constexpr uint32_t kChunk = 256 * 1024;

// Waits as long as the download rate limit asks for.
void Throttle(const HttpFetchState& state, uint64_t bytes, uint32_t started_ms) {
  int32_t limit = state.download_limit->load();
  if (limit <= 0) return;
  uint64_t due_ms = bytes * 1000 / static_cast<uint64_t>(limit);
  uint32_t elapsed = platform::GetTickCount() - started_ms;
  if (due_ms > elapsed) platform::Sleep(static_cast<uint32_t>(due_ms - elapsed));
}

enum class SourceResult { kDone, kFailed, kWriteFailed, kStopped };

// Fetches one source into the part file, continuing what it holds.
SourceResult FetchSource(const HttpFetchState& state, platform::InternetSession* session,
                         const std::string& url, const std::string& directory, const std::string& part,
                         uint64_t size, std::vector<char>* buffer) {
  platform::File file;
  if (!file.OpenInside(directory, part, platform::File::kWrite, platform::File::Mode::kOpenAlways))
    return SourceResult::kWriteFailed;
  int64_t have = file.Size();
  if (have < 0) return SourceResult::kWriteFailed;
  if (static_cast<uint64_t>(have) > size) {
    if (!file.Truncate(0)) return SourceResult::kWriteFailed;
    have = 0;
  }
  if (!file.Seek(static_cast<uint64_t>(have))) return SourceResult::kWriteFailed;
  *state.downloaded = static_cast<uint32_t>(have);
  if (static_cast<uint64_t>(have) == size) return SourceResult::kDone;

  std::string headers;
  if (have > 0) headers = "Range: bytes=" + std::to_string(have) + "-\r\n";
  std::unique_ptr<platform::InternetRequest> request = platform::OpenUrl(session, url, headers);
  uint32_t status = 0;
  if (!request || !request->QueryStatusCode(&status)) return SourceResult::kFailed;
  if (status == 200 && have > 0) {
    // The source ignored the range: the whole file comes again.
    if (!file.Truncate(0) || !file.Seek(0)) return SourceResult::kWriteFailed;
    have = 0;
    *state.downloaded = 0;
  } else if (status != 200 && status != 206) {
    return SourceResult::kFailed;
  }
  char length_text[32];
  uint64_t length = 0;
  if (!request->QueryContentLength(length_text, sizeof(length_text)) ||
      !platform::ParseContentLength(length_text, &length) ||
      static_cast<uint64_t>(have) + length != size)
    return SourceResult::kFailed;  // not the file the meta file describes

  uint64_t done = static_cast<uint64_t>(have);
  uint32_t started = platform::GetTickCount();
  uint64_t fetched = 0;
  while (done < size) {
    if (state.stop->load()) return SourceResult::kStopped;
    uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer->size(), size - done));
    uint32_t got = 0;
    if (!request->Read(buffer->data(), want, &got) || got == 0) return SourceResult::kFailed;
    if (!file.Write(buffer->data(), got)) return SourceResult::kWriteFailed;
    done += got;
    fetched += got;
    *state.downloaded = static_cast<uint32_t>(done);
    uint32_t elapsed = platform::GetTickCount() - started;
    if (elapsed > 0) *state.rate = static_cast<uint32_t>(fetched * 1000 / elapsed);
    Throttle(state, fetched, started);
  }
  return file.Sync() ? SourceResult::kDone : SourceResult::kWriteFailed;
}

// The name the caller asked for: the meta URL's last element, percent
// escapes decoded, without the meta file's own extension ("a.zip" of
// ".../a.zip.swarmlet").
std::string RequestedName(const std::string& meta_url) {
  std::string path = meta_url.substr(0, meta_url.find_first_of("?#"));
  std::string last = path.substr(path.rfind('/') + 1);
  std::string name;
  for (size_t i = 0; i < last.size(); ++i) {
    auto hex = [](char c) {
      return c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
    };
    if (last[i] == '%' && i + 2 < last.size() && hex(last[i + 1]) >= 0 && hex(last[i + 2]) >= 0) {
      name += static_cast<char>(hex(last[i + 1]) * 16 + hex(last[i + 2]));
      i += 2;
    } else {
      name += last[i];
    }
  }
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

bool IsRequestedName(const std::string& meta_name, const std::string& meta_url) {
  std::string requested = RequestedName(meta_url);
  return platform::EqualsNoCase(meta_name, requested) ||
         platform::EqualsNoCase(meta_name, platform::Utf8ToCp949(requested));
}

bool FetchSmall(platform::InternetSession* session, const std::string& url, size_t limit,
                std::string* body) {
  std::unique_ptr<platform::InternetRequest> request = platform::OpenUrl(session, url, "");
  uint32_t status = 0;
  if (!request || !request->QueryStatusCode(&status) || status != 200) return false;
  char buffer[16384];
  body->clear();
  for (;;) {
    uint32_t got = 0;
    if (!request->Read(buffer, sizeof(buffer), &got)) return false;
    if (got == 0) return true;
    body->append(buffer, got);
    if (body->size() > limit) return false;
  }
}

uint32_t FetchFromSources(platform::InternetSession* session, const SwarmletMeta& meta,
                          const std::string& directory, const HttpFetchState& state) {
  if (!platform::CreateDirectoryChain(directory)) return kSwarmletErrorWriteFailed;
  std::string target = directory + "\\" + meta.name;
  std::string part = target + ".part";
  std::vector<char> buffer(kChunk);
  SourceResult result = SourceResult::kFailed;
  for (const std::string& source : meta.sources) {
    result = FetchSource(state, session, source, directory, part, meta.size, &buffer);
    if (result != SourceResult::kFailed) break;
  }
  if (result == SourceResult::kStopped) return kHttpFetchStopped;
  if (result == SourceResult::kWriteFailed) return kSwarmletErrorWriteFailed;
  if (result == SourceResult::kFailed) return kSwarmletErrorNoSource;
  if (!platform::ReplaceInside(directory, part, target)) return kSwarmletErrorWriteFailed;
  *state.downloaded = static_cast<uint32_t>(meta.size);
  return 0;
}

}  // namespace kivro
