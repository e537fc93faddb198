# The `run` command of the operator's tool kivro-update: a whole update from
# the command line with the update manager and its own roles.
add_library(kivro_update_run STATIC ${CMAKE_CURRENT_LIST_DIR}/kivro_update_run.cpp)
target_link_libraries(kivro_update_run PUBLIC kivro_own_roles kivro_update kivro_console kivro_platform)
# The release key built in (empty: releases need no signature unless --pubkey).
target_compile_definitions(kivro_update_run PRIVATE "KIVRO_RELEASE_PUBKEY=\"${KIVRO_RELEASE_PUBKEY}\"")

kivro_host_program(_kivro_host_update kivro-update)
kivro_add_test(kivro_update_run_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kivro_update_run_test.cpp
  LIBS kivro_launcher_e2e kivro_test_servers
  LABELS integration
  TIMEOUT 300)
target_compile_definitions(kivro_update_run_test PRIVATE
  "KIVRO_UPDATE_PROGRAM=\"${_kivro_host_update}\"")
add_dependencies(kivro_update_run_test kivro-update npk kivro-publish)

kivro_add_test(kivro_update_signed_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kivro_update_signed_test.cpp
  LIBS kivro_launcher_e2e kivro_test_servers
  LABELS integration
  TIMEOUT 300)
target_compile_definitions(kivro_update_signed_test PRIVATE
  "KIVRO_UPDATE_PROGRAM=\"${_kivro_host_update}\"")
add_dependencies(kivro_update_signed_test kivro-update npk kivro-publish)

# Kills the tool at random moments of an update; the next run must end
# exactly as the release, without temporaries.
kivro_add_test(kivro_update_crash_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kivro_update_crash_test.cpp
  LIBS kivro_launcher_e2e kivro_test_servers kivro_process kivro_npk
  LABELS integration
  TIMEOUT 600)
target_compile_definitions(kivro_update_crash_test PRIVATE
  "KIVRO_UPDATE_PROGRAM=\"$<TARGET_FILE:kivro-update>\"")
add_dependencies(kivro_update_crash_test kivro-update npk kivro-publish)
