# The POSIX backend's own tests (the virtual root, fork, descriptors, X11)
# and its test programs and test support.
set(_posix ${CMAKE_CURRENT_LIST_DIR})

kivro_add_test(platform_posix_test
  SOURCES ${_posix}/paths_test.cpp ${_posix}/filetime_test.cpp ${_posix}/folder_names_test.cpp
          ${_posix}/file_inside_test.cpp
  LIBS kivro_platform kivro_platform_testing)

if(KIVRO_HAVE_FILE_MODE)
  kivro_add_test(file_mode_test SOURCES ${_posix}/file_mode_test.cpp
    LIBS kivro_file_mode kivro_platform_testing)
endif()

kivro_add_test(registry_test
  SOURCES ${_posix}/registry_test.cpp ${_posix}/registry_store_test.cpp
  LIBS kivro_registry)

# Another process holding a mutex or a section.
add_executable(kivro_test_named_object_holder ${_posix}/testing/named_object_holder_program.cpp)
target_link_libraries(kivro_test_named_object_holder PRIVATE kivro_shared_memory)
kivro_add_test(shared_memory_test
  SOURCES ${_posix}/shared_memory_test.cpp ${_posix}/named_mutex_test.cpp
  LIBS kivro_shared_memory kivro_platform_testing)

kivro_add_test(process_test
  SOURCES ${_posix}/process_test.cpp ${_posix}/process_scheme_handler_test.cpp
  LIBS kivro_process kivro_platform_testing)

kivro_add_test(processes_test SOURCES ${_posix}/processes_test.cpp LIBS kivro_processes)

# A private Xvfb, a window program of ours, screenshots as PNG files.
add_library(kivro_xvfb_testing STATIC ${_posix}/testing/xvfb_server.cpp)
add_executable(kivro_test_top_window ${_posix}/testing/top_window_test_program.cpp)
target_link_libraries(kivro_test_top_window PRIVATE kivro_top_windows)
add_library(kivro_top_windows_testing STATIC
  ${_posix}/testing/top_windows_testing.cpp ${_posix}/testing/top_windows_png.cpp)
target_link_libraries(kivro_top_windows_testing PUBLIC kivro_top_windows kivro_process kivro_xvfb_testing
                      PRIVATE X11::X11 kivro_png_testing)
target_compile_definitions(kivro_top_windows_testing PRIVATE
  KIVRO_TEST_TOP_WINDOW_PROGRAM="$<TARGET_FILE:kivro_test_top_window>")
add_dependencies(kivro_top_windows_testing kivro_test_top_window)

# The toolkit's windows under a private X server: pointer moves, screenshots.
add_library(kivro_gui_xvfb STATIC ${_posix}/testing/xvfb_session.cpp)
target_link_libraries(kivro_gui_xvfb PUBLIC kivro_gui_testing kivro_xvfb_testing PRIVATE X11::X11 kivro_png_testing)

kivro_add_test(top_windows_posix_test SOURCES ${_posix}/top_windows_test.cpp LIBS kivro_top_windows)
kivro_add_test(top_windows_gui_test
  SOURCES ${_posix}/top_windows_gui_test.cpp
  LIBS kivro_top_windows_testing kivro_gui kivro_gui_testing LABELS xvfb)
kivro_add_test(system_info_test
  SOURCES ${_posix}/system_info_test.cpp
  LIBS kivro_system_info kivro_top_windows_testing)
