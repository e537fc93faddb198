# Windows programs as players see them: tests run in a Wine prefix of their
# own with the X11 driver (build-win64/wine-x11), each on a private X server
# (scripts/wine-run.sh --display). Runs in that prefix wait for each other,
# so CTest schedules them one at a time (RESOURCE_LOCK kivro_wine_display).

# kivro_add_display_test(NAME SOURCES src... [LIBS lib...] [LOCKS lock...] [TIMEOUT s])
function(kivro_add_display_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LOCKS" ${ARGN})
  if(BUILD_TESTING)
    add_executable(${name} ${T_SOURCES})
  else()
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${name}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --display ${CMAKE_BINARY_DIR}/wine-x11 $<TARGET_FILE:${name}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "KIVRO_SOURCE_DIR=${CMAKE_SOURCE_DIR};KIVRO_BUILD_DIR=${CMAKE_BINARY_DIR}"
    LABELS "integration;xvfb"
    TIMEOUT ${T_TIMEOUT}
    RESOURCE_LOCK "kivro_wine_display;${T_LOCKS}")
endfunction()

# Screenshots, clicks and window lookups with the system's own calls.
add_library(kivro_screen_testing STATIC ${_win32}/testing/screen_testing.cpp)
target_link_libraries(kivro_screen_testing PUBLIC kivro_platform kivro_png_testing gdi32 user32)

# The harness proven with a window of its own: pixels read back where it
# lies, a click landing where aimed, Hangul in the Korean system faces.
add_executable(kivro_test_paint_window ${_win32}/testing/paint_window_test_program.cpp)
target_link_libraries(kivro_test_paint_window PRIVATE gdi32 user32)
target_link_options(kivro_test_paint_window PRIVATE -municode -mwindows)
kivro_add_display_test(display_harness_test
  SOURCES ${_win32}/testing/display_harness_test.cpp
  LIBS kivro_screen_testing kivro_process
  TIMEOUT 180)
target_compile_definitions(display_harness_test PRIVATE
  "KIVRO_TEST_PAINT_WINDOW_PROGRAM=\"Z:$<TARGET_FILE:kivro_test_paint_window>\"")
add_dependencies(display_harness_test kivro_test_paint_window)

# The launcher and the notifier on the display. Their programs are made in
# later folders, or not at all while the backend does not draw (the tests
# then skip and say so): the tests are added once every folder is read.
function(_kivro_add_player_display_tests)
  set(launcher_dir ${CMAKE_SOURCE_DIR}/launcher)
  kivro_add_display_test(launcher_wine_display_test
    SOURCES ${launcher_dir}/launcher_wine_display_test.cpp
    LIBS kivro_launcher_e2e kivro_screen_testing kivro_process kivro_npk
    LOCKS kivro_download_port
    TIMEOUT 420)
  target_compile_definitions(launcher_wine_display_test PRIVATE
    "KIVRO_TEST_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\""
    "KIVRO_SKIN_DIR=\"${KIVRO_SKIN_DIR}\""
    "KIVRO_TEST_OUTPUT_DIR=\"${CMAKE_BINARY_DIR}/launcher\"")
  add_dependencies(launcher_wine_display_test npk kivro-publish)
  if(TARGET KIVROInstaller)
    target_compile_definitions(launcher_wine_display_test PRIVATE
      "KIVRO_LAUNCHER_PROGRAM=\"$<TARGET_FILE:KIVROInstaller>\"")
    add_dependencies(launcher_wine_display_test KIVROInstaller)
  endif()

  kivro_add_display_test(pingbell_wine_display_test
    SOURCES ${CMAKE_SOURCE_DIR}/notifier/pingbell_wine_display_test.cpp
    LIBS kivro_screen_testing kivro_process
    TIMEOUT 180)
  if(TARGET Pingbell)
    target_compile_definitions(pingbell_wine_display_test PRIVATE
      "KIVRO_PINGBELL_PROGRAM=\"$<TARGET_FILE:Pingbell>\"")
    target_link_libraries(pingbell_wine_display_test PRIVATE kivro_pingbell kivro_gui_testing)
    kivro_embed_pingbell_resources(pingbell_wine_display_test)
    add_dependencies(pingbell_wine_display_test Pingbell)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _kivro_add_player_display_tests)
