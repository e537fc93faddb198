kivro_add_fuzzer(fuzz_vrl SOURCES ${CMAKE_SOURCE_DIR}/fuzz/vrl_fuzz.cpp LIBS kivro_vrl)
