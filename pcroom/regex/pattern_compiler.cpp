#include "pcroom/regex/pattern_compiler.h"

#include "pcroom/regex/rexa_exception.h"

namespace kivro {

namespace {

bool StartsFactor(int code) {
  return code == kTokenName || code == kTokenCharSet || code == kTokenOpen;
}

}  // namespace

void PatternCompiler::CheckSize(const Parse& p) const {
  if (p.tree.position_count() > kMaxPositions || p.nesting > kMaxNesting)
    throw REXA_Exception{"pattern too complex", p.token.offset};
}

ExpressionTree PatternCompiler::ParseWhole(const std::string& pattern, int* root) {
  Parse p(pattern);
  Advance(p);
  *root = Expression(p);
  if (p.token.code != kTokenEnd) throw REXA_Exception{"unexpected symbol", p.token.offset};
  return std::move(p.tree);
}

std::unique_ptr<Automaton> PatternCompiler::Compile(const std::string& pattern) {
  int root = -1;
  ExpressionTree tree = ParseWhole(pattern, &root);
  return BuildAutomaton(tree, root, end_of_text_);
}

void PatternCompiler::AddName(const std::string& name, const std::string& pattern) {
  Named named;
  named.tree = ParseWhole(pattern, &named.root);
  names_[name] = std::move(named);
}

int PatternCompiler::Expression(Parse& p) {
  int node = Sequence(p);
  while (p.token.code == kTokenBar) {
    Advance(p);
    int next = Sequence(p);
    node = p.tree.AddNode(ExpressionNode::kAlternation, node, next);
  }
  return node;
}

int PatternCompiler::Sequence(Parse& p) {
  int node = Term(p);
  while (StartsFactor(p.token.code)) {
    int next = Term(p);
    node = p.tree.AddNode(ExpressionNode::kConcat, node, next);
  }
  return node;
}

int PatternCompiler::Term(Parse& p) {
  int first_position = p.tree.position_count();
  int node = Factor(p);
  switch (p.token.code) {
    case kTokenStar:
      node = p.tree.AddNode(ExpressionNode::kStar, node);
      break;
    case kTokenPlus: {
      int copy = p.tree.CopySubtree(p.tree, node);
      CheckSize(p);
      int star = p.tree.AddNode(ExpressionNode::kStar, copy);
      node = p.tree.AddNode(ExpressionNode::kConcat, node, star);
      break;
    }
    case kTokenQuestion:
      node = p.tree.AddNode(ExpressionNode::kOptional, node);
      break;
    case kTokenCasePostfix:
      // Upper-case letters gain their lower-case form, never the reverse.
      for (int pos = first_position; pos < p.tree.position_count(); ++pos) {
        ByteSet& set = p.tree.set(pos);
        for (int c = 'A'; c <= 'Z'; ++c)
          if (set.test(size_t(c))) set.set(size_t(c - 'A' + 'a'));
      }
      break;
    default:
      return node;  // no postfix
  }
  Advance(p);  // at most one postfix; a second one ends the expression
  return node;
}

int PatternCompiler::Factor(Parse& p) {
  int node = -1;
  switch (p.token.code) {
    case kTokenName: {
      auto it = names_.find(p.token.text);
      if (it == names_.end())
        throw REXA_Exception{p.token.text + " not found in name dictionary", p.token.offset};
      node = p.tree.CopySubtree(it->second.tree, it->second.root);
      CheckSize(p);
      Advance(p);
      return node;
    }
    case kTokenCharSet:
      node = p.tree.AddLeaf(p.token.set);
      CheckSize(p);
      Advance(p);
      return node;
    case kTokenOpen:
      ++p.nesting;
      CheckSize(p);
      Advance(p);
      node = Expression(p);
      if (p.token.code != kTokenClose)
        throw REXA_Exception{TokenDisplayName(kTokenClose) + " expected\r\n  ", p.token.offset};
      --p.nesting;
      Advance(p);
      return node;
    default:
      throw REXA_Exception{"[,',( or ident expected", p.token.offset};
  }
}

}  // namespace kivro
