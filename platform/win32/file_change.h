// Changes by wide path or by handle that the path calls (file.h) and the
// calls below a folder (file_inside.h) share. Failures set the thread's
// last system error (Windows backend only).
#pragma once
#include <windows.h>

#include <string>

#include "platform/filetime.h"

namespace platform {

// SetFileTime with the contract's times; a null pointer leaves that time.
bool SetHandleTimes(HANDLE h, const FileTime* creation, const FileTime* access,
                    const FileTime* write);
// Deletes a file, clearing its read-only attribute (`attributes`, as read
// before) first.
bool DeleteWide(const std::wstring& path, DWORD attributes);
// A rename that fails with kErrorAlreadyExists when the target exists.
bool MoveWide(const std::wstring& from, const std::wstring& to);
// A rename over the target, also over one that others hold open.
bool ReplaceWide(const std::wstring& from, const std::wstring& to);

}  // namespace platform
