#include "pcroom/regex/automaton.h"

#include <map>

#include "pcroom/regex/rexa_exception.h"

namespace kivro {

namespace {

// A set of positions as a plain bit vector; it is also the key of the map
// from position set to state.
class PositionSet {
 public:
  explicit PositionSet(size_t positions = 0) : words_((positions + 63) / 64, 0) {}
  void Add(int p) { words_[size_t(p) / 64] |= uint64_t(1) << (p % 64); }
  bool Has(int p) const { return (words_[size_t(p) / 64] >> (p % 64)) & 1; }
  void Unite(const PositionSet& o) {
    for (size_t i = 0; i < words_.size(); ++i) words_[i] |= o.words_[i];
  }
  void Clear() {
    for (uint64_t& w : words_) w = 0;
  }
  bool Empty() const {
    for (uint64_t w : words_)
      if (w) return false;
    return true;
  }
  template <typename F>
  void ForEach(F f) const {
    for (size_t i = 0; i < words_.size(); ++i)
      for (uint64_t w = words_[i]; w; w &= w - 1) f(int(i * 64 + size_t(__builtin_ctzll(w))));
  }
  bool operator<(const PositionSet& o) const { return words_ < o.words_; }

 private:
  std::vector<uint64_t> words_;
};

AutomatonState MakeShared(int expression) {
  AutomatonState s;
  s.expression = expression;
  s.terminal = true;
  return s;
}

// Byte classes as a true partition: two bytes share a class exactly when
// every character set of the pattern holds both or neither. All bytes of a
// class then behave alike at every position, also for sets that overlap
// without nesting.
int PartitionBytes(const std::vector<ByteSet>& sets, int class_of[256]) {
  for (int b = 0; b < 256; ++b) class_of[b] = 0;
  int classes = 1;
  for (const ByteSet& set : sets) {
    if (set.none()) continue;
    // Split each class into its members inside and outside `set`.
    std::map<std::pair<int, bool>, int> renumber;
    int next = 0;
    for (int b = 0; b < 256; ++b) {
      auto key = std::make_pair(class_of[b], bool(set.test(size_t(b))));
      auto it = renumber.find(key);
      if (it == renumber.end()) it = renumber.emplace(key, next++).first;
      class_of[b] = it->second;
    }
    classes = next;
  }
  return classes;
}

}  // namespace

// Successors point at the state itself, set once its address is fixed.
const AutomatonState* DeadState() {
  static AutomatonState dead = MakeShared(-2);
  static const bool linked = [] {
    for (auto& n : dead.successors) n = &dead;
    return true;
  }();
  (void)linked;
  return &dead;
}

const AutomatonState* EndState() {
  static AutomatonState end = MakeShared(-1);
  static const bool linked = [] {
    for (auto& n : end.successors) n = &end;
    return true;
  }();
  (void)linked;
  return &end;
}

AutomatonState* Automaton::NewState() {
  if (states_.size() >= kMaxStates) throw REXA_Exception{"pattern too complex", 0};
  states_.push_back(std::make_unique<AutomatonState>());
  return states_.back().get();
}

std::unique_ptr<Automaton> BuildAutomaton(const ExpressionTree& tree, int root,
                                          uint8_t end_of_text) {
  const auto& nodes = tree.nodes();
  const auto& sets = tree.sets();
  const int positions = tree.position_count();
  // One more position, matched by nothing, marks the end of the expression:
  // a state holding it is accepting.
  const int end_marker = positions;
  const size_t width = size_t(positions) + 1;

  std::vector<bool> nullable(nodes.size());
  std::vector<PositionSet> first(nodes.size(), PositionSet(width));
  std::vector<PositionSet> last(nodes.size(), PositionSet(width));
  std::vector<PositionSet> follow(width, PositionSet(width));
  for (size_t i = 0; i < nodes.size(); ++i) {  // children come before parents
    const ExpressionNode& n = nodes[i];
    switch (n.kind) {
      case ExpressionNode::kLeaf:
        nullable[i] = false;
        first[i].Add(n.position);
        last[i].Add(n.position);
        break;
      case ExpressionNode::kConcat: {
        size_t a = size_t(n.left), b = size_t(n.right);
        nullable[i] = nullable[a] && nullable[b];
        first[i] = first[a];
        if (nullable[a]) first[i].Unite(first[b]);
        last[i] = last[b];
        if (nullable[b]) last[i].Unite(last[a]);
        last[a].ForEach([&](int p) { follow[size_t(p)].Unite(first[b]); });
        break;
      }
      case ExpressionNode::kAlternation: {
        size_t a = size_t(n.left), b = size_t(n.right);
        nullable[i] = nullable[a] || nullable[b];
        first[i] = first[a];
        first[i].Unite(first[b]);
        last[i] = last[a];
        last[i].Unite(last[b]);
        break;
      }
      case ExpressionNode::kStar:
      case ExpressionNode::kOptional: {
        size_t a = size_t(n.left);
        nullable[i] = true;
        first[i] = first[a];
        last[i] = last[a];
        if (n.kind == ExpressionNode::kStar)
          last[a].ForEach([&](int p) { follow[size_t(p)].Unite(first[a]); });
        break;
      }
    }
  }
  const size_t r = size_t(root);
  last[r].ForEach([&](int p) { follow[size_t(p)].Add(end_marker); });
  PositionSet start_set = first[r];
  if (nullable[r]) start_set.Add(end_marker);

  int class_of[256];
  const int classes = PartitionBytes(sets, class_of);
  // The classes each position's set covers: a class lies wholly inside or
  // wholly outside every set.
  int representative[256];
  for (int b = 255; b >= 0; --b) representative[class_of[b]] = b;
  std::vector<std::vector<int>> classes_of(sets.size());
  for (size_t p = 0; p < sets.size(); ++p)
    for (int c = 0; c < classes; ++c)
      if (sets[p].test(size_t(representative[c]))) classes_of[p].push_back(c);

  auto automaton = std::make_unique<Automaton>();
  std::map<PositionSet, AutomatonState*> built;
  std::vector<std::pair<AutomatonState*, PositionSet>> pending;
  auto state_for = [&](const PositionSet& set) {
    auto it = built.find(set);
    if (it != built.end()) return it->second;
    AutomatonState* s = automaton->NewState();
    built.emplace(set, s);
    pending.emplace_back(s, set);
    return s;
  };
  automaton->start_ = state_for(start_set);

  std::vector<PositionSet> next(size_t(classes), PositionSet{width});
  std::vector<const AutomatonState*> target(static_cast<size_t>(classes));
  size_t work = 0;  // position-set bits united so far
  while (!pending.empty()) {  // depth first: the newest state is built next
    auto [state, set] = std::move(pending.back());
    pending.pop_back();
    for (auto& n : next) n.Clear();
    set.ForEach([&](int p) {
      if (p == end_marker) return;
      for (int c : classes_of[size_t(p)]) next[size_t(c)].Unite(follow[size_t(p)]);
      work += classes_of[size_t(p)].size() * width;
    });
    if (work > Automaton::kMaxWork) throw REXA_Exception{"pattern too complex", 0};
    const bool accepting = set.Has(end_marker);
    AutomatonState* stop = nullptr;
    const AutomatonState* fallback = DeadState();
    if (accepting) {
      state->accepting = true;
      state->expression = 0;
      // Where no successor continues the match, it ends here.
      stop = automaton->NewState();
      stop->terminal = true;
      stop->accepting = true;
      stop->expression = 0;
      for (auto& s : stop->successors) s = DeadState();
      fallback = stop;
    }
    for (int c = 0; c < classes; ++c)
      target[size_t(c)] = next[size_t(c)].Empty() ? nullptr : state_for(next[size_t(c)]);
    for (int b = 0; b < 256; ++b) {
      const AutomatonState* t = target[size_t(class_of[b])];
      state->successors[b] = t ? t : fallback;
    }
    // A match never reaches past the end-of-text character, even through
    // "." or a set that holds it.
    state->successors[end_of_text] = accepting ? stop : EndState();
  }
  return automaton;
}

}  // namespace kivro
