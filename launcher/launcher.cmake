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
if(TARGET kivro_sysinfo)
  target_link_libraries(kivro_launcher PRIVATE kivro_sysinfo)
  target_compile_definitions(kivro_launcher PRIVATE KIVRO_HAVE_SYSINFO=1)
endif()

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
  SOURCES ${KIVRO_LAUNCHER_DIR}/launcher_logic_test.cpp
  LIBS kivro_launcher kivro_update kivro_own_roles)
target_compile_definitions(launcher_test PRIVATE "KIVRO_TEST_DOWNLOAD_HOST=\"${KIVRO_DOWNLOAD_HOST}\"")
