// The parsed form of a pattern: a tree whose leaves are positions, each
// position one character set of the pattern. Nodes are stored children
// first, so one pass in index order visits every child before its parent.
#pragma once
#include <vector>

#include "pcroom/regex/byte_set.h"

namespace kivro {

struct ExpressionNode {
  enum Kind { kLeaf, kConcat, kAlternation, kStar, kOptional };
  Kind kind = kLeaf;
  int left = -1;   // the only child of kStar and kOptional
  int right = -1;
  int position = -1;  // kLeaf
};

class ExpressionTree {
 public:
  int AddLeaf(const ByteSet& set);
  int AddNode(ExpressionNode::Kind kind, int left, int right = -1);
  // Copies the subtree at `node` of `from` (which may be this tree) with new
  // positions for its leaves; returns the copy's root.
  int CopySubtree(const ExpressionTree& from, int node);

  const std::vector<ExpressionNode>& nodes() const { return nodes_; }
  const std::vector<ByteSet>& sets() const { return sets_; }
  ByteSet& set(int position) { return sets_[size_t(position)]; }
  int position_count() const { return int(sets_.size()); }

 private:
  std::vector<ExpressionNode> nodes_;
  std::vector<ByteSet> sets_;  // indexed by position
};

}  // namespace kivro
