# The swarm engine's settings file reader.
kivro_add_fuzzer(fuzz_swarmlet_settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/swarmlet_settings_fuzz.cpp
  LIBS kivro_swarmlet_settings)
