#include "platform/win32/command_line_quote.h"

namespace platform {

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double before a quote, which itself is escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');  // before the closing quote
  quoted += L'"';
  return quoted;
}

std::wstring BuildCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  // The program's own name is read up to the next quote, with no escapes:
  // it is always quoted and can hold no quote.
  std::wstring line = L"\"" + program + L"\"";
  for (const std::wstring& a : arguments) line += L" " + QuoteArgument(a);
  return line;
}

}  // namespace platform
