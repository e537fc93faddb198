// The pattern compiler: a recursive-descent parser over PatternScanner's
// tokens that builds an ExpressionTree, with the dictionary of named
// expressions that "$name" references expand to.
//
//   expression = sequence { "|" sequence }
//   sequence   = term { term }            (while a factor can start)
//   term       = factor [ "*" | "+" | "?" | "\i" ]
//   factor     = name | character set | "(" expression ")"
#pragma once
#include <map>
#include <memory>
#include <string>

#include "pcroom/regex/automaton.h"
#include "pcroom/regex/expression_tree.h"
#include "pcroom/regex/pattern_scanner.h"

namespace kivro {

class PatternCompiler {
 public:
  // Bounds that keep a hostile pattern from exhausting the stack or memory;
  // patterns of this system use a few dozen positions.
  static constexpr int kMaxPositions = 1000;
  static constexpr int kMaxNesting = 100;

  explicit PatternCompiler(uint8_t end_of_text) : end_of_text_(end_of_text) {}

  // Compiles `pattern` into an automaton; throws REXA_Exception on an error.
  std::unique_ptr<Automaton> Compile(const std::string& pattern);

  // Stores `pattern` under `name` ("$" included). Nothing in the system adds
  // names; the dictionary starts empty. Throws REXA_Exception on an error.
  void AddName(const std::string& name, const std::string& pattern);

 private:
  struct Parse {
    explicit Parse(const std::string& pattern) : scanner(pattern) {}
    PatternScanner scanner;
    Token token;
    ExpressionTree tree;
    int nesting = 0;
  };
  ExpressionTree ParseWhole(const std::string& pattern, int* root);
  int Expression(Parse& p);
  int Sequence(Parse& p);
  int Term(Parse& p);
  int Factor(Parse& p);
  void Advance(Parse& p) { p.token = p.scanner.Next(); }
  void CheckSize(const Parse& p) const;

  struct Named {
    ExpressionTree tree;
    int root = -1;
  };
  uint8_t end_of_text_;
  std::map<std::string, Named> names_;
};

}  // namespace kivro
