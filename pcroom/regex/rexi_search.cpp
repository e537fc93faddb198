#include "pcroom/regex/rexi_search.h"

namespace kivro {

bool REXI_Search::Find(const char*& cursor, size_t& length, bool& at_end) {
  const AutomatonState* start = start_state_;
  const AutomatonState* dead = DeadState();
  const uint8_t* attempt = reinterpret_cast<const uint8_t*>(cursor);
  for (;;) {
    // Bytes that cannot begin a match cost one lookup each. The end-of-text
    // character never leads to the dead state, so this stops at the latest
    // there.
    while (start->successors[*attempt] == dead) ++attempt;
    match_start_ = attempt;

    const AutomatonState* state = start;
    const uint8_t* p = attempt;
    // An accepting start state matches the empty text right here.
    const uint8_t* last_accept = start->accepting ? attempt : nullptr;
    const AutomatonState* next;
    for (;;) {
      next = state->successors[*p];
      if (next->terminal) break;
      state = next;
      ++p;
      if (state->accepting) last_accept = p;
    }
    scan_position_ = p;
    const uint8_t* end = next->accepting ? p : last_accept;
    if (end != nullptr) {
      length = size_t(end - attempt);
      at_end = *end == end_of_text_;
      cursor = reinterpret_cast<const char*>(end);
      return true;
    }
    if (*p == end_of_text_) {
      cursor = reinterpret_cast<const char*>(p);
      length = 0;
      at_end = true;
      return false;
    }
    ++attempt;
  }
}

}  // namespace kivro
