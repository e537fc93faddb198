# The Windows backend's own tests: what the system's own objects do there.
set(_win32 ${CMAKE_CURRENT_LIST_DIR})

kivro_add_test(shared_memory_test
  SOURCES ${_win32}/named_objects_test.cpp
  LIBS kivro_shared_memory)
