kivro_add_fuzzer(fuzz_npk SOURCES ${CMAKE_SOURCE_DIR}/fuzz/npk_fuzz.cpp LIBS kivro_npk)
