// Symbolic links for the tests of the refusal to pass them. Where the system
// or its C++ library makes none (the Windows build's library does not; Wine
// keeps none), MakeLink fails and the test is skipped: what it would check
// cannot happen there. The Windows backend's own tests use junctions.
#pragma once
#include <filesystem>
#include <string>
#include <system_error>

namespace platform {

constexpr char kNoLinksHere[] = "this system makes no symbolic links";

// `link` pointing to `target` (host paths); a folder link when `folder`.
inline bool MakeLink(const std::string& target, const std::string& link, bool folder = false) {
  std::error_code error;
  if (folder)
    std::filesystem::create_directory_symlink(target, link, error);
  else
    std::filesystem::create_symlink(target, link, error);
  return !error && std::filesystem::is_symlink(std::filesystem::symlink_status(link, error));
}

}  // namespace platform
