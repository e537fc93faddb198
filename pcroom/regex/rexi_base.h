// The owner of the pattern compiler and of the compiled automaton.
// Objects are used by one thread at a time.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "pcroom/regex/automaton.h"
#include "pcroom/regex/compile_result.h"
#include "pcroom/regex/pattern_compiler.h"

namespace kivro {

class REXI_Base {
 public:
  // `end_of_text` is the byte that ends every searched text.
  explicit REXI_Base(char end_of_text);
  virtual ~REXI_Base();
  REXI_Base(const REXI_Base&) = delete;
  REXI_Base& operator=(const REXI_Base&) = delete;

  // Compiles `pattern`; on success its automaton replaces the old one, on
  // an error the old one stays in force.
  CompileResult SetPattern(const std::string& pattern);

  // The pattern compiler, whose name dictionary "$name" references expand
  // from. Nothing in the system adds names; tests do.
  PatternCompiler& compiler() { return *compiler_; }

  // Where the last match attempt started.
  const char* match_start() const { return reinterpret_cast<const char*>(match_start_); }

  // For tests: the states of the automaton in force (0 before a pattern).
  size_t state_count() const { return automaton_ ? automaton_->state_count() : 0; }

 protected:
  uint8_t end_of_text_;
  const uint8_t* match_start_ = nullptr;
  const uint8_t* scan_position_ = nullptr;
  std::unique_ptr<PatternCompiler> compiler_;
  std::unique_ptr<Automaton> automaton_;
  const AutomatonState* start_state_;
};

}  // namespace kivro
