// UTF-16 texts of the Windows API <-> the system's code page 949 and UTF-8
// texts, and Windows paths as the wide file API takes them (Windows backend
// only).
#pragma once
#include <string>

namespace platform {

std::wstring Cp949ToWide(const std::string& text);
std::string WideToCp949(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// A Windows path (code page 949, '\' or '/') for the wide file API: '/'
// becomes '\'; a path too long for the classic limit is made absolute and
// given the "\\?\" prefix, which lifts the limit.
std::wstring WidePath(const std::string& path);
// The absolute form of a wide path (GetFullPathNameW); the path itself when
// it cannot be made absolute.
std::wstring FullWidePath(const std::wstring& path);
// An absolute wide path as the wide file API takes it: given the "\\?\"
// prefix when it is too long for the classic limit.
std::wstring LongWidePath(const std::wstring& full);
// The full file name of a loaded module (an HMODULE; null: the program),
// however long; "" when it cannot be had.
std::wstring ModuleFileNameOf(void* module);

}  // namespace platform
