// POSIX permission bits of installed files. Zip archives made on a POSIX
// system carry them; the installer restores the execute bits so that an
// installed program or start script can be run. Where the file system has no
// such bits (Windows) these calls succeed and change nothing.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// Adds the execute bits of `posix_mode` (0111 part) to the file; the other
// bits stay as they are. True when done (or nothing to do). A symbolic link
// at the name is never followed: the call fails with kErrorStoppedOnSymlink
// and the file it points to keeps its bits.
bool AddExecuteBits(const std::string& path, uint32_t posix_mode);

// The file's permission bits (07777 part); false when it cannot be read.
bool GetPermissionBits(const std::string& path, uint32_t* posix_mode);

// Whether the file system keeps execute bits, so that AddExecuteBits makes
// an installed script runnable: true on POSIX; false on Windows, where a
// program is known by its extension.
bool KeepsExecuteBits();

}  // namespace platform
