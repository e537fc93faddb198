# The peer engine's meta-file reader.
kivro_add_fuzzer(fuzz_transfer SOURCES ${CMAKE_CURRENT_LIST_DIR}/transfer_fuzz.cpp)
