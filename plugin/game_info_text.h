// The game-information text shared by every plug-in object in the process:
// a 512-byte buffer holding a zero-terminated ANSI text of at most 511
// bytes. It starts empty when the plug-in is loaded and outlives objects.
// Objects live in the page's single-threaded apartment, so all calls come on
// one thread; the buffer is not locked.
#pragma once
#include <cstddef>
#include <string>

namespace kivro::plugin {

constexpr size_t kGameInfoSize = 512;

std::string GameInfoText();
// Copies `text` up to its first zero byte, cut at 511 bytes.
void SetGameInfoText(const char* text, size_t length);
void ClearGameInfoText();

}  // namespace kivro::plugin
