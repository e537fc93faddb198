kivro_add_fuzzer(fuzz_com
  SOURCES ${CMAKE_SOURCE_DIR}/fuzz/com_fuzz.cpp
  LIBS kivro_com kivro_process)
kivro_add_fuzzer(fuzz_registry
  SOURCES ${CMAKE_SOURCE_DIR}/fuzz/registry_fuzz.cpp
  LIBS kivro_registry)
kivro_add_fuzzer(fuzz_plugin
  SOURCES ${CMAKE_SOURCE_DIR}/fuzz/plugin_fuzz.cpp
  LIBS kivro_plugin_core)
