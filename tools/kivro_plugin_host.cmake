# kivro-plugin-host: a web page's script stand-in for the plug-in.
if(NOT KIVRO_WINDOWS_UI OR NOT TARGET KIVROPlugin)
  return()
endif()
add_executable(kivro_plugin_host ${CMAKE_CURRENT_LIST_DIR}/kivro_plugin_host.cpp)
set_target_properties(kivro_plugin_host PROPERTIES OUTPUT_NAME kivro-plugin-host)
target_link_libraries(kivro_plugin_host PRIVATE kivro_com kivro_platform)

kivro_add_test(kivro_plugin_host_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kivro_plugin_host_test.cpp)
target_compile_definitions(kivro_plugin_host_test PRIVATE
  KIVRO_PLUGIN_HOST="$<TARGET_FILE:kivro_plugin_host>"
  KIVRO_PLUGIN_FILE="$<TARGET_FILE:KIVROPlugin>")
add_dependencies(kivro_plugin_host_test kivro_plugin_host KIVROPlugin)
