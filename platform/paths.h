// The Windows view of the file system on a POSIX host.
//
// The system speaks Windows paths ("C:\Zelmora\KOREAN\Gobanvista\a.exe",
// both '\' and '/' accepted, code page 949 bytes). Here they live under a
// virtual root, like a Wine prefix:
//   - KIVRO_ROOT (default ~/.local/share/kivro, HOME else the password
//     database's home; with neither the program stops with a message);
//     drive X: is $KIVRO_ROOT/drive_x;
//   - drive Z: is the POSIX root, so every POSIX path has a Windows name;
//   - the Windows directory is C:\WINDOWS unless KIVRO_WINDIR names another.
// Existing components are found without regard to case; missing ones are
// created as written. Names are UTF-8 on disk.
#pragma once
#include <string>

namespace platform {

// The virtual root folder (POSIX path, no trailing '/').
std::string VirtualRoot();

// Windows path -> POSIX path. Relative paths are taken from the current
// directory; "\x" is the root of the current drive. "." and ".." are resolved
// and never climb above a drive's root.
std::string ToPosixPath(const std::string& windows_path);

// POSIX path -> Windows path (drive_x folders under the root become X:, the
// rest Z:). Relative POSIX paths are taken from the current directory.
std::string ToWindowsPath(const std::string& posix_path);

// "C:\WINDOWS" or KIVRO_WINDIR, without trailing backslash.
std::string WindowsDirectory();
// WindowsDirectory() + "\system32".
std::string SystemDirectory();
// The user's private temporary folder (on POSIX: "temp" in the virtual
// root, mode 0700, made on first use; a program whose folder belongs to
// another user or is writable by others stops with a message), with a
// trailing backslash, as GetTempPath gives it.
std::string TempDirectory();

// The current directory, as a Windows path; set from a Windows path.
std::string CurrentDirectory();
bool ChangeCurrentDirectory(const std::string& windows_path);

// The folder of the running program, as a Windows path (no trailing '\').
std::string ProgramDirectory();
// The running program's file name (code page 949, no folder); empty when
// it cannot be told.
std::string ProgramFileName();

// Whether two paths name the same file or folder, existing or not: the
// same drive and names, compared as the file system compares them (without
// regard to case for names that exist).
bool SameFile(const std::string& a, const std::string& b);

// A variable of the program's environment; empty when it is not set.
std::string EnvironmentValue(const std::string& name);

// The directory part of a path: up to the last '\', else the last '/';
// empty when there is none.
std::string DirectoryPart(const std::string& path);

}  // namespace platform
