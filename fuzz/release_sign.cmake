kivro_add_fuzzer(fuzz_release_sign SOURCES ${CMAKE_SOURCE_DIR}/fuzz/release_sign_fuzz.cpp
  LIBS kivro_release_sign)
