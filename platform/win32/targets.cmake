# The Windows backend's own tests: what the system's own objects do there.
set(_win32 ${CMAKE_CURRENT_LIST_DIR})

kivro_add_test(platform_win32_test
  SOURCES ${_win32}/file_inside_test.cpp
  LIBS kivro_platform kivro_platform_testing)

kivro_add_test(shared_memory_test
  SOURCES ${_win32}/named_objects_test.cpp
  LIBS kivro_shared_memory)

# A program that writes back the arguments it was given; it lies beside the
# test, which finds it in its own folder.
add_executable(kivro_test_argument_echo
  ${_win32}/testing/argument_echo_program.cpp ${_win32}/wide.cpp)
target_link_options(kivro_test_argument_echo PRIVATE -municode)
kivro_add_test(process_test
  SOURCES ${_win32}/process_test.cpp
  LIBS kivro_process kivro_processes kivro_platform_testing)
add_dependencies(process_test kivro_test_argument_echo)

kivro_add_test(registry_test SOURCES ${_win32}/registry_test.cpp LIBS kivro_registry)
kivro_add_test(system_info_test SOURCES ${_win32}/system_info_test.cpp LIBS kivro_system_info)
