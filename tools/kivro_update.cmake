# kivro-update: the operator's command-line front to the update manager
# (fetch here; run in kivro_update_run.cmake).
add_library(kivro_update_fetch_args STATIC ${CMAKE_CURRENT_LIST_DIR}/kivro_update_fetch_args.cpp)
target_link_libraries(kivro_update_fetch_args PUBLIC kivro_platform)

add_executable(kivro-update ${CMAKE_CURRENT_LIST_DIR}/kivro_update.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kivro_update_fetch.cpp)
target_link_libraries(kivro-update PRIVATE kivro_update_fetch_args
  kivro_own_roles kivro_update kivro_transfer kivro_console kivro_internet kivro_platform)
target_link_libraries(kivro-update PRIVATE kivro_update_run)
# The peer-to-peer engine is loaded from the program's own folder: a copy
# of the chosen engine (KIVRO_SWARMLET_ENGINE, transfer/CMakeLists.txt)
# sits beside the program.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/Swarmlet.dll
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${KIVRO_SWARMLET_ENGINE_TARGET}>
          ${CMAKE_CURRENT_BINARY_DIR}/Swarmlet.dll
  DEPENDS ${KIVRO_SWARMLET_ENGINE_TARGET} $<TARGET_FILE:${KIVRO_SWARMLET_ENGINE_TARGET}>)
add_custom_target(kivro_update_swarmlet ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/Swarmlet.dll)
add_dependencies(kivro-update kivro_update_swarmlet)

kivro_add_test(kivro_update_fetch_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kivro_update_fetch_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kivro_update_swarm_test.cpp
  LIBS kivro_update_fetch_args kivro_test_servers kivro_publish_torrent
  LABELS integration
  TIMEOUT 240)
# The peer fetch runs a copy of the program beside each engine.
target_compile_definitions(kivro_update_fetch_test PRIVATE
  KIVRO_UPDATE_PROGRAM="$<TARGET_FILE:kivro-update>"
  KIVRO_REFERENCE_ENGINE="$<TARGET_FILE:kivro_swarmlet_engine>")
add_dependencies(kivro_update_fetch_test kivro-update kivro_swarmlet_engine)
if(TARGET kivro_swarmlet_torrent_engine)
  if(KIVRO_TSAN_LIBTORRENT)
    set_property(TEST kivro_update_fetch_test APPEND PROPERTY ENVIRONMENT "${KIVRO_TSAN_LIBTORRENT}")
  endif()
  target_compile_definitions(kivro_update_fetch_test PRIVATE
    KIVRO_TORRENT_ENGINE="$<TARGET_FILE:kivro_swarmlet_torrent_engine>")
  add_dependencies(kivro_update_fetch_test kivro_swarmlet_torrent_engine)
endif()
