# The installer/launcher program KIVROInstaller: its logic (configuration,
# link to the update manager, window logic, terminal mode) in a library that
# tests use without a window, and the program itself.
set(KIVRO_LAUNCHER_DIR ${CMAKE_CURRENT_LIST_DIR})

# The build settings (download hosts, release key) in a library of their
# own: a program that brings its own build_settings object replaces them.
add_library(kivro_launcher_settings STATIC ${KIVRO_LAUNCHER_DIR}/build_settings.cpp)
target_include_directories(kivro_launcher_settings PUBLIC ${KIVRO_LAUNCHER_DIR}/..)
target_compile_definitions(kivro_launcher_settings PRIVATE
  "KIVRO_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\""
  "KIVRO_RELEASE_PUBKEY=\"${KIVRO_RELEASE_PUBKEY}\"")

# The real program end to end: the sample game published with the real
# publisher, served by nginx on the port built into the launcher.
add_library(kivro_launcher_e2e STATIC ${KIVRO_LAUNCHER_DIR}/launcher_e2e_support.cpp)
target_include_directories(kivro_launcher_e2e PUBLIC ${KIVRO_LAUNCHER_DIR}/..)
target_link_libraries(kivro_launcher_e2e PUBLIC kivro_test_servers kivro_internet kivro_platform)
kivro_host_program(_kivro_host_npk npk)
kivro_host_program(_kivro_host_publish kivro-publish)
target_compile_definitions(kivro_launcher_e2e PRIVATE
  "KIVRO_LAUNCHER_SOURCE_DIR=\"${KIVRO_LAUNCHER_DIR}\""
  "KIVRO_NPK_PROGRAM=\"${_kivro_host_npk}\""
  "KIVRO_PUBLISH_PROGRAM=\"${_kivro_host_publish}\"")
if(NOT KIVRO_WINDOWS_UI)
  return()
endif()

add_library(kivro_launcher STATIC
  ${KIVRO_LAUNCHER_DIR}/launcher_config.cpp
  ${KIVRO_LAUNCHER_DIR}/result_messages.cpp
  ${KIVRO_LAUNCHER_DIR}/launcher_link.cpp
  ${KIVRO_LAUNCHER_DIR}/stonegate_dlg.cpp
  ${KIVRO_LAUNCHER_DIR}/console_surface.cpp
  ${KIVRO_LAUNCHER_DIR}/game_start.cpp
  ${KIVRO_LAUNCHER_DIR}/client_report.cpp
)
target_include_directories(kivro_launcher PUBLIC ${KIVRO_LAUNCHER_DIR}/..)
target_link_libraries(kivro_launcher PUBLIC kivro_update kivro_own_roles kivro_console kivro_process kivro_platform
  kivro_launcher_settings)
target_link_libraries(kivro_launcher PRIVATE kivro_sysinfo)

# The skinned window on a screen.
add_library(kivro_launcher_window STATIC
  ${KIVRO_LAUNCHER_DIR}/stonegate_paint.cpp
  ${KIVRO_LAUNCHER_DIR}/stonegate_window.cpp
)
target_link_libraries(kivro_launcher_window PUBLIC kivro_launcher kivro_tuv kivro_gui)

add_executable(KIVROInstaller
  ${KIVRO_LAUNCHER_DIR}/launcher_main.cpp
  ${KIVRO_LAUNCHER_DIR}/stonegate_app.cpp
  ${KIVRO_LAUNCHER_DIR}/program_surface.cpp
)
target_link_libraries(KIVROInstaller PRIVATE kivro_launcher_window kivro_launcher kivro_update kivro_own_roles)
# A Windows program of the window subsystem: no console window opens beside
# the skinned one; the terminal mode (no desktop, or KIVRO_GUI=offscreen)
# writes to redirected output.
set_target_properties(KIVROInstaller PROPERTIES WIN32_EXECUTABLE ON)
kivro_embed_launcher_art(KIVROInstaller)

kivro_add_test(launcher_test
  SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_logic_test.cpp ${KIVRO_LAUNCHER_DIR}/console_surface_test.cpp
  LIBS kivro_launcher kivro_update kivro_own_roles)
target_compile_definitions(launcher_test PRIVATE "KIVRO_TEST_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\"")

# End to end through the POSIX view of Windows (KIVRO_ROOT, a native sample
# game started by the shell): not on Windows, where the installed programs
# are driven under Wine by tests of their own.
if(NOT WIN32)
  kivro_add_test(launcher_e2e_test
    SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_e2e_test.cpp
    LIBS kivro_launcher_e2e
    LABELS integration
    TIMEOUT 300)
  target_compile_definitions(launcher_e2e_test PRIVATE
    "KIVRO_LAUNCHER_PROGRAM=\"$<TARGET_FILE:KIVROInstaller>\""
    "KIVRO_NPK_PROGRAM=\"$<TARGET_FILE:npk>\""
    "KIVRO_TEST_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\"")
  add_dependencies(launcher_e2e_test KIVROInstaller npk kivro-publish)
  # Both end-to-end tests serve on the launcher's one port: never at once.
  set_tests_properties(launcher_e2e_test PROPERTIES RESOURCE_LOCK kivro_download_port)

  # A test-only launcher with the test release key built in and its hosts
  # from the environment, and the end-to-end test of signed releases with it.
  file(STRINGS ${KIVRO_LAUNCHER_DIR}/test_data/release_test.pub KIVRO_TEST_KEY_LINES)
  list(GET KIVRO_TEST_KEY_LINES 1 KIVRO_TEST_RELEASE_PUBKEY)
  add_executable(KIVROInstaller_signed_test
    ${KIVRO_LAUNCHER_DIR}/launcher_main.cpp
    ${KIVRO_LAUNCHER_DIR}/stonegate_app.cpp
    ${KIVRO_LAUNCHER_DIR}/program_surface.cpp
    ${KIVRO_LAUNCHER_DIR}/build_settings_signed_test.cpp
  )
  target_compile_definitions(KIVROInstaller_signed_test PRIVATE
    "KIVRO_TEST_RELEASE_PUBKEY=\"${KIVRO_TEST_RELEASE_PUBKEY}\"")
  target_link_libraries(KIVROInstaller_signed_test PRIVATE kivro_launcher_window kivro_launcher kivro_update kivro_own_roles)
  kivro_embed_launcher_art(KIVROInstaller_signed_test)
  kivro_add_test(launcher_signed_e2e_test
    SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_signed_e2e_test.cpp
    LIBS kivro_launcher_e2e
    LABELS integration
    TIMEOUT 300)
  target_compile_definitions(launcher_signed_e2e_test PRIVATE
    "KIVRO_SIGNED_LAUNCHER_PROGRAM=\"$<TARGET_FILE:KIVROInstaller_signed_test>\""
    "KIVRO_TEST_KEY_DIR=\"${KIVRO_LAUNCHER_DIR}/test_data\"")
  add_dependencies(launcher_signed_e2e_test KIVROInstaller_signed_test npk kivro-publish)
endif()

# The program on a private X server (where the backend has one).
if(TARGET kivro_gui_xvfb)
  kivro_add_test(launcher_xvfb_test
    SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_xvfb_test.cpp
    LIBS kivro_launcher_e2e kivro_gui_xvfb kivro_gui
    LABELS "integration;xvfb"
    TIMEOUT 300)
  target_compile_definitions(launcher_xvfb_test PRIVATE
    "KIVRO_LAUNCHER_PROGRAM=\"$<TARGET_FILE:KIVROInstaller>\""
    "KIVRO_TEST_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\""
    "KIVRO_SKIN_DIR=\"${KIVRO_SKIN_DIR}\""
    "KIVRO_TEST_OUTPUT_DIR=\"${CMAKE_CURRENT_BINARY_DIR}\"")
  add_dependencies(launcher_xvfb_test KIVROInstaller npk kivro-publish)
  set_tests_properties(launcher_xvfb_test PROPERTIES RESOURCE_LOCK kivro_download_port)
endif()

# The skinned window on the toolkit's off-screen backend.
kivro_add_test(launcher_window_test
  SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_window_test.cpp
  LIBS kivro_launcher_window kivro_launcher kivro_update kivro_own_roles kivro_gui_testing)
kivro_embed_launcher_art(launcher_window_test)
