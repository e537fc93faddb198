// Searching texts with the compiled pattern: the leftmost match, and of the
// matches that begin there the longest.
#pragma once
#include <cstddef>

#include "pcroom/regex/rexi_base.h"

namespace kivro {

class REXI_Search : public REXI_Base {
 public:
  explicit REXI_Search(char end_of_text = '\0') : REXI_Base(end_of_text) {}

  // Searches from `cursor`; the text must contain the end-of-text character,
  // which ends the search. On a match: true, `cursor` at the match end,
  // `length` its length, `at_end` whether the byte at the cursor is the
  // end-of-text character. Otherwise false with `cursor` where the search
  // stopped. A match attempt that runs into the end of the text ends the
  // whole search, even if a later start would have matched inside the part
  // already read (the pattern abc|b finds nothing in ab): the automaton
  // reads each byte at most once per attempt and never looks back.
  bool Find(const char*& cursor, size_t& length, bool& at_end);
};

}  // namespace kivro
