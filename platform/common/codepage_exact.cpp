#include "platform/codepage.h"

namespace platform {

bool Utf8ToCp949Exact(const std::string& text, std::string* out) {
  std::string converted = Utf8ToCp949(text);
  // Code page 949 to UTF-8 is one to one, so a substitution or a byte that
  // was not UTF-8 shows as a difference on the way back.
  if (Cp949ToUtf8(converted) != text) return false;
  *out = std::move(converted);
  return true;
}

}  // namespace platform
