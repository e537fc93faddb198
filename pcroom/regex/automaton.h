// The deterministic automaton a pattern compiles to: one full 256-entry
// successor table per state, so matching costs one lookup per byte.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "pcroom/regex/expression_tree.h"

namespace kivro {

struct AutomatonState {
  const AutomatonState* successors[256] = {};
  int expression = 0;     // accepted expression; -2 dead state, -1 end state
  bool terminal = false;  // matching stops on entering this state
  bool accepting = false; // a match may end on entering this state
};

// The two states every automaton shares, built once and only read after:
// the dead state (no match can continue) and the end state (entered on the
// end-of-text character). Both lead only to themselves.
const AutomatonState* DeadState();
const AutomatonState* EndState();

class Automaton {
 public:
  // Bounds the work and memory of one pattern (about 2 KiB per state).
  static constexpr size_t kMaxStates = 4000;
  // Bounds the construction time (bits of position sets united), about
  // 20 ms; the patterns of this system need a few thousand.
  static constexpr size_t kMaxWork = size_t(1) << 24;

  const AutomatonState* start() const { return start_; }
  size_t state_count() const { return states_.size(); }

 private:
  friend std::unique_ptr<Automaton> BuildAutomaton(const ExpressionTree&, int, uint8_t);
  AutomatonState* NewState();

  std::vector<std::unique_ptr<AutomatonState>> states_;
  const AutomatonState* start_ = nullptr;
};

// Builds the automaton of the expression rooted at `root`. Throws
// REXA_Exception when it would exceed Automaton::kMaxStates.
std::unique_ptr<Automaton> BuildAutomaton(const ExpressionTree& tree, int root,
                                          uint8_t end_of_text);

}  // namespace kivro
