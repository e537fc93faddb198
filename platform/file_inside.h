// Changes to files below a trusted folder, never through a link.
//
// The update writes into folders that other programs (and other users) may
// have touched. A symbolic link planted at a file's name or at any folder
// between the trusted folder and the file would send a write, a rename, a
// removal, new times or new attributes to a file elsewhere. Every function
// here resolves `path` below `folder` one component at a time and refuses to
// pass a link: the call fails with kErrorStoppedOnSymlink and changes
// nothing. The link itself is left alone (it may be the user's own; the
// failure names the item so that the user can see it).
//
// `folder` itself is trusted as it stands, and may be a link (games moved to
// another disk). `path` is a full path that lies below `folder` (or is
// `folder` itself for the folder functions); one that does not fails with
// kErrorAccessDenied. Paths are Windows paths as in file.h; names are found
// without regard to case as everywhere else.
#pragma once
#include <string>

#include "platform/file.h"

namespace platform {

// MovePath / ReplacePath below one folder: `from` and `to` both below it.
bool MoveInside(const std::string& folder, const std::string& from, const std::string& to);
bool ReplaceInside(const std::string& folder, const std::string& from, const std::string& to);
// RemoveFile below `folder` (the read-only attribute is cleared first).
bool RemoveFileInside(const std::string& folder, const std::string& path);
bool SetFileTimesInside(const std::string& folder, const std::string& path, const FileTime* creation,
                        const FileTime* access, const FileTime* write);
bool SetAttributesInside(const std::string& folder, const std::string& path, uint32_t attributes);
// Creates `dir_path` (below `folder`, or `folder` itself) with every missing
// folder between; `folder` itself must exist.
bool CreateFoldersInside(const std::string& folder, const std::string& dir_path);
// True when nothing that exists on the way from `folder` to `path`
// (including `path` itself) is a link; missing parts are fine.
bool NoLinkInside(const std::string& folder, const std::string& path);

}  // namespace platform
