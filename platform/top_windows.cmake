# Top-level windows of every program over X11: search by title, Z order,
# properties, messages sent and answered across processes.
find_package(X11 REQUIRED)
add_library(kivro_top_windows STATIC posix/top_windows.cpp)
target_link_libraries(kivro_top_windows PUBLIC kivro_platform PRIVATE ${X11_LIBRARIES})
target_include_directories(kivro_top_windows SYSTEM PRIVATE ${X11_INCLUDE_DIR})

# Test support: a private Xvfb and a window program of ours.
add_executable(kivro_test_top_window posix/top_window_test_program.cpp)
target_link_libraries(kivro_test_top_window PRIVATE kivro_top_windows)
add_library(kivro_top_windows_testing STATIC posix/top_windows_testing.cpp posix/top_windows_png.cpp)
target_link_libraries(kivro_top_windows_testing PUBLIC kivro_top_windows kivro_process
                      PRIVATE ${X11_LIBRARIES} ZLIB::ZLIB)
target_include_directories(kivro_top_windows_testing SYSTEM PRIVATE ${X11_INCLUDE_DIR})
target_compile_definitions(kivro_top_windows_testing PRIVATE
  KIVRO_TEST_TOP_WINDOW_PROGRAM="$<TARGET_FILE:kivro_test_top_window>")
add_dependencies(kivro_top_windows_testing kivro_test_top_window)

kivro_add_test(top_windows_test
  SOURCES posix/top_windows_test.cpp
  LIBS kivro_top_windows_testing)

# Windows of the toolkit answering sent messages through its native hook.
if(TARGET kivro_gui)
  kivro_add_test(top_windows_gui_test
    SOURCES posix/top_windows_gui_test.cpp
    LIBS kivro_top_windows_testing kivro_gui LABELS xvfb)
endif()
