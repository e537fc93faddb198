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

# A window program of ours that the top-level window tests poke, and the
# test support that starts it. The windows live on the desktop the tests
# run on: under Wine the prefix's headless one (scripts/wine-run.sh).
add_executable(kivro_test_top_window
  ${_win32}/testing/top_window_test_program.cpp ${_win32}/wide.cpp)
target_link_libraries(kivro_test_top_window PRIVATE kivro_top_windows)
target_link_options(kivro_test_top_window PRIVATE -municode)
add_library(kivro_top_windows_testing STATIC ${_win32}/testing/top_windows_testing.cpp)
target_link_libraries(kivro_top_windows_testing PUBLIC kivro_top_windows kivro_process)
target_compile_definitions(kivro_top_windows_testing PRIVATE
  KIVRO_TEST_TOP_WINDOW_PROGRAM="$<TARGET_FILE:kivro_test_top_window>")
add_dependencies(kivro_top_windows_testing kivro_test_top_window)
kivro_add_test(top_windows_win32_test SOURCES ${_win32}/top_windows_hook_test.cpp LIBS kivro_top_windows)

# The window toolkit on real windows (on the prefix's headless desktop under
# Wine: windows, messages and input exist, pixels are not shown), with
# another program that sends our windows messages, and a test program whose
# resource section holds a skin bitmap and the program icon.
if(KIVRO_HAVE_GUI)
  add_executable(kivro_test_send_message ${_win32}/testing/send_message_program.cpp)
  target_link_libraries(kivro_test_send_message PRIVATE kivro_top_windows)
  target_link_options(kivro_test_send_message PRIVATE -municode)
  kivro_add_test(gui_win32_test
    SOURCES ${_win32}/gui/win32_backend_test.cpp ${_win32}/gui/gdi_font_test.cpp
            ${_win32}/gui/resource_section_test.cpp
    LIBS kivro_gui kivro_gui_testing kivro_top_windows kivro_process shell32)
  add_dependencies(gui_win32_test kivro_test_send_message)
  target_compile_definitions(gui_win32_test PRIVATE
    KIVRO_TEST_SEND_MESSAGE_PROGRAM="$<TARGET_FILE:kivro_test_send_message>"
    KIVRO_TEST_BITMAP_FILE="${_win32}/gui/test_data/eight_bit.bmp"
    KIVRO_TEST_ICON_FILE="${_win32}/gui/test_data/two_sizes.ico")
  kivro_embed_resources(gui_win32_test
    BITMAP 201 ${_win32}/gui/test_data/eight_bit.bmp
    ICON 202 ${_win32}/gui/test_data/two_sizes.ico
    BITMAP 203 ${_win32}/gui/test_data/eight_bit.bmp)
endif()
