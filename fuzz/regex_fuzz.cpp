// Fuzzes the pattern compiler and the search: the input is a pattern, a
// newline and a text. Any compile result is fine; a search must stay inside
// the text and every match must lie between the cursor and the text's end.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pcroom/regex/rexi_search.h"

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\n');
  std::string pattern = input.substr(0, split);
  std::string text = split == std::string::npos ? std::string() : input.substr(split + 1);
  char end_of_text = text.empty() ? '\0' : text.back();  // exercise other end bytes too
  if (text.size() % 2 == 0) end_of_text = '\0';
  text.push_back(end_of_text);
  const size_t text_end = text.find(end_of_text);

  REXI_Search rx(end_of_text);
  CompileResult r = rx.SetPattern(pattern);
  if (r.code != 0 && (r.message.empty() || r.position < 0 || size_t(r.position) > pattern.size()))
    abort();
  const char* begin = text.data();
  const char* cursor = begin;
  for (int rounds = 0; rounds < 64; ++rounds) {
    const char* before = cursor;
    size_t length = 0;
    bool at_end = false;
    bool found = rx.Find(cursor, length, at_end);
    if (cursor < before || size_t(cursor - begin) > text_end) abort();
    if (!found) {
      if (size_t(cursor - begin) != text_end) abort();
      break;
    }
    if (length > size_t(cursor - before)) abort();
    if (at_end != (size_t(cursor - begin) == text_end)) abort();
    if (at_end) break;
    if (length == 0) ++cursor;  // an empty match: step over one byte
  }
  return 0;
}
