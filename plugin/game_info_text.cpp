#include "plugin/game_info_text.h"

#include <cstring>

namespace kivro::plugin {

namespace {
char g_game_info[kGameInfoSize] = {};
}

std::string GameInfoText() { return std::string(g_game_info, strnlen(g_game_info, kGameInfoSize - 1)); }

void SetGameInfoText(const char* text, size_t length) {
  size_t n = 0;
  while (n < length && n < kGameInfoSize - 1 && text[n] != 0) ++n;
  std::memcpy(g_game_info, text, n);
  g_game_info[n] = 0;
}

void ClearGameInfoText() { g_game_info[0] = 0; }

}  // namespace kivro::plugin
