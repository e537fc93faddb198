kivro_add_fuzzer(fuzz_regex
  SOURCES ${CMAKE_SOURCE_DIR}/fuzz/regex_fuzz.cpp
  LIBS kivro_regex)
