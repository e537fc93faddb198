// Windows command lines built from separate arguments so that the program's
// C runtime splits them back into exactly those arguments (Windows backend
// only): nothing of one argument can spill into the next.
#pragma once
#include <string>
#include <vector>

namespace platform {

std::wstring QuoteArgument(const std::wstring& argument);
std::wstring BuildCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);

}  // namespace platform
