#include "patch/list_lines.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "patch/vrel_base.h"  // kVrelLineBuffer
#include "platform/file.h"

namespace kivro {

namespace {

// Feeds the complete lines of `data`; returns how many bytes it used. Without
// `at_end`, a last line that has neither its line feed nor the full buffer
// length waits for more bytes.
size_t SplitLines(const char* data, size_t length, bool at_end, const ListLineFn& parse) {
  size_t start = 0;
  std::string line;
  while (start < length) {
    size_t window = std::min(length - start, kVrelLineBuffer - 1);
    const void* lf = std::memchr(data + start, '\n', window);
    size_t take;
    if (lf != nullptr)
      take = static_cast<size_t>(static_cast<const char*>(lf) - (data + start)) + 1;
    else if (window == kVrelLineBuffer - 1 || at_end)
      take = window;
    else
      break;
    line.assign(data + start, take);
    parse(line.c_str());
    start += take;
  }
  return start;
}

}  // namespace

void SplitListLines(const char* data, size_t length, const ListLineFn& parse) {
  SplitLines(data, length, true, parse);
}

bool ReadListLines(const char* path, const ListLineFn& parse,
                   const std::function<void()>& opened) {
  platform::File file;
  if (path == nullptr ||
      !file.Open(path, platform::File::kRead, platform::File::Mode::kOpenExisting))
    return false;
  if (opened) opened();
  std::string buffer;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    int64_t got = file.Read(chunk.data(), chunk.size());
    bool at_end = got <= 0;
    if (!at_end) buffer.append(chunk.data(), static_cast<size_t>(got));
    buffer.erase(0, SplitLines(buffer.data(), buffer.size(), at_end, parse));
    if (at_end) break;
  }
  return true;
}

}  // namespace kivro
