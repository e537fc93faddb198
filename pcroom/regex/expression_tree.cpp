#include "pcroom/regex/expression_tree.h"

namespace kivro {

int ExpressionTree::AddLeaf(const ByteSet& set) {
  sets_.push_back(set);
  ExpressionNode n;
  n.kind = ExpressionNode::kLeaf;
  n.position = int(sets_.size()) - 1;
  nodes_.push_back(n);
  return int(nodes_.size()) - 1;
}

int ExpressionTree::AddNode(ExpressionNode::Kind kind, int left, int right) {
  ExpressionNode n;
  n.kind = kind;
  n.left = left;
  n.right = right;
  nodes_.push_back(n);
  return int(nodes_.size()) - 1;
}

int ExpressionTree::CopySubtree(const ExpressionTree& from, int node) {
  // Copy by value first: `from` may be this tree, whose vectors grow below.
  ExpressionNode n = from.nodes_[size_t(node)];
  if (n.kind == ExpressionNode::kLeaf) {
    ByteSet set = from.sets_[size_t(n.position)];
    return AddLeaf(set);
  }
  int left = CopySubtree(from, n.left);
  int right = n.right >= 0 ? CopySubtree(from, n.right) : -1;
  return AddNode(n.kind, left, right);
}

}  // namespace kivro
