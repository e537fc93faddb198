kivro_add_fuzzer(fuzz_vrl SOURCES ${CMAKE_SOURCE_DIR}/fuzz/vrl_fuzz.cpp LIBS kivro_vrl)
# The whole check of a hostile list against a scratch install folder.
kivro_add_fuzzer(fuzz_vrl_check SOURCES ${CMAKE_SOURCE_DIR}/fuzz/vrl_check_fuzz.cpp LIBS kivro_patch)
