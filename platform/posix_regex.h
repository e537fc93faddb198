// The system's POSIX extended regular expressions (regcomp/regexec), for
// tests and benchmarks that compare our own engine against them. Not used by
// the shipped programs.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

class PosixRegex {
 public:
  PosixRegex() = default;
  ~PosixRegex();
  PosixRegex(const PosixRegex&) = delete;
  PosixRegex& operator=(const PosixRegex&) = delete;

  // Compiles an extended expression; false with the system's message.
  bool Compile(const std::string& pattern, std::string* error = nullptr);
  // Leftmost-longest match in [begin, end); false when there is none.
  bool Search(const char* begin, const char* end, size_t* match_offset,
              size_t* match_length) const;

 private:
  void* compiled_ = nullptr;
};

}  // namespace platform
