#include "platform/posix_regex.h"

#include <regex.h>

namespace platform {

PosixRegex::~PosixRegex() {
  if (compiled_) {
    regfree(static_cast<regex_t*>(compiled_));
    delete static_cast<regex_t*>(compiled_);
  }
}

bool PosixRegex::Compile(const std::string& pattern, std::string* error) {
  auto* re = new regex_t;
  int rc = regcomp(re, pattern.c_str(), REG_EXTENDED);
  if (rc != 0) {
    if (error) {
      char text[256];
      regerror(rc, re, text, sizeof text);
      *error = text;
    }
    delete re;
    return false;
  }
  if (compiled_) {
    regfree(static_cast<regex_t*>(compiled_));
    delete static_cast<regex_t*>(compiled_);
  }
  compiled_ = re;
  return true;
}

bool PosixRegex::Search(const char* begin, const char* end, size_t* match_offset,
                        size_t* match_length) const {
  if (!compiled_) return false;
  regmatch_t m[1];
  // REG_STARTEND bounds the text, so no strlen runs over it on each call.
  m[0].rm_so = 0;
  m[0].rm_eo = regoff_t(end - begin);
  if (regexec(static_cast<const regex_t*>(compiled_), begin, 1, m, REG_STARTEND) != 0)
    return false;
  *match_offset = size_t(m[0].rm_so);
  *match_length = size_t(m[0].rm_eo - m[0].rm_so);
  return true;
}

}  // namespace platform
