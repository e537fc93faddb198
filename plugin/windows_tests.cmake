# The plug-in's tests on Windows, with the system's COM, regsvr32, cscript
# and shell. They change the registry and the Windows folder, so under Wine
# they run in a prefix of their own (<build>/wine-plugin), one at a time.

# Stands in for KIVROInstaller.exe and Pingbell.exe (script_client_test):
# records the arguments the real programs do not show.
add_executable(kivro_test_start_recorder start_recorder_program.cpp)

function(kivro_add_plugin_windows_test name)
  kivro_add_test(${name} ${ARGN})
  target_compile_definitions(${name} PRIVATE KIVRO_PLUGIN_FILE="$<TARGET_FILE:KIVROPlugin>")
  add_dependencies(${name} KIVROPlugin)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 runner)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR
                 ${runner} ${CMAKE_BINARY_DIR}/wine-plugin)
  endif()
  set_property(TEST ${name} PROPERTY RESOURCE_LOCK kivro_plugin_machine)
  # A Korean Windows, as players have: its ANSI code page (949) is the one
  # the system reads the type library's Korean help strings in.
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT LC_ALL=ko_KR.UTF-8)
endfunction()

kivro_add_plugin_windows_test(plugin_com_server_test
  SOURCES com_server_test.cpp
  LIBS kivro_com kivro_registry kivro_platform)

kivro_add_plugin_windows_test(plugin_script_client_test
  SOURCES script_client_test.cpp started_program_closer.cpp
  LIBS kivro_platform_testing kivro_top_windows_testing kivro_shared_memory kivro_process
       kivro_processes kivro_registry kivro_platform)
target_compile_definitions(plugin_script_client_test PRIVATE
  KIVRO_TEST_START_RECORDER="$<TARGET_FILE:kivro_test_start_recorder>"
  KIVRO_SCRIPT_CLIENT="${CMAKE_CURRENT_SOURCE_DIR}/script_client.js"
  KIVRO_SCRIPT_TRANSCRIPT="${CMAKE_CURRENT_BINARY_DIR}/script_client_transcript.txt"
  KIVRO_PLUGIN_HOST="$<TARGET_FILE:kivro_plugin_host>")
add_dependencies(plugin_script_client_test kivro_test_start_recorder kivro_plugin_host)
# The real notifier and launcher, where the build has windows (notifier/,
# launcher/).
if(KIVRO_WINDOWS_UI)
  target_compile_definitions(plugin_script_client_test PRIVATE
    KIVRO_PINGBELL_PROGRAM="$<TARGET_FILE:Pingbell>"
    KIVRO_LAUNCHER_PROGRAM="$<TARGET_FILE:KIVROInstaller>")
  add_dependencies(plugin_script_client_test Pingbell KIVROInstaller)
endif()
