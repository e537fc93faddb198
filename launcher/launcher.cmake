# The installer/launcher program KIVROInstaller: its logic (configuration,
# link to the update manager, window logic, terminal mode) in a library that
# tests use without a window, and the program itself.
set(KIVRO_LAUNCHER_DIR ${CMAKE_CURRENT_LIST_DIR})

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
target_compile_definitions(kivro_launcher PRIVATE "KIVRO_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\"")
target_link_libraries(kivro_launcher PUBLIC kivro_update kivro_own_roles kivro_console kivro_process kivro_platform)
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
kivro_embed_launcher_art(KIVROInstaller)

kivro_add_test(launcher_test
  SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_logic_test.cpp ${KIVRO_LAUNCHER_DIR}/console_surface_test.cpp
  LIBS kivro_launcher kivro_update kivro_own_roles)
target_compile_definitions(launcher_test PRIVATE "KIVRO_TEST_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\"")

# The real program end to end: the sample game published with the real
# publisher, served by nginx on the port built into the launcher.
add_library(kivro_launcher_e2e STATIC ${KIVRO_LAUNCHER_DIR}/launcher_e2e_support.cpp)
target_include_directories(kivro_launcher_e2e PUBLIC ${KIVRO_LAUNCHER_DIR}/..)
target_link_libraries(kivro_launcher_e2e PUBLIC kivro_test_servers kivro_internet kivro_platform)
target_compile_definitions(kivro_launcher_e2e PRIVATE
  "KIVRO_LAUNCHER_SOURCE_DIR=\"${KIVRO_LAUNCHER_DIR}\""
  "KIVRO_NPK_PROGRAM=\"$<TARGET_FILE:npk>\""
  "KIVRO_PUBLISH_PROGRAM=\"$<TARGET_FILE:kivro-publish>\"")
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

# The skinned window on the toolkit's off-screen backend.
kivro_add_test(launcher_window_test
  SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_window_test.cpp
  LIBS kivro_launcher_window kivro_launcher kivro_update kivro_own_roles kivro_gui_testing)
kivro_embed_launcher_art(launcher_window_test)
