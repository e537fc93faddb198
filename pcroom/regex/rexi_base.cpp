#include "pcroom/regex/rexi_base.h"

#include "pcroom/regex/rexa_exception.h"

namespace kivro {

REXI_Base::REXI_Base(char end_of_text)
    : end_of_text_(uint8_t(end_of_text)),
      compiler_(std::make_unique<PatternCompiler>(uint8_t(end_of_text))),
      start_state_(EndState()) {}

REXI_Base::~REXI_Base() = default;

CompileResult REXI_Base::SetPattern(const std::string& pattern) {
  CompileResult result;
  try {
    std::unique_ptr<Automaton> built = compiler_->Compile(pattern);
    automaton_ = std::move(built);  // the old automaton goes only now
    start_state_ = automaton_->start();
  } catch (const REXA_Exception& e) {
    result.code = CompileResult::kSyntaxError;
    result.message = e.message;
    result.position = e.position;
  } catch (const std::bad_alloc&) {
    result.code = CompileResult::kSyntaxError;
    result.message = "pattern too complex";
  }
  return result;
}

}  // namespace kivro
