# kivro-plugin-host: a web page's script stand-in for the plug-in.
if(NOT TARGET KIVROPlugin)
  return()
endif()
add_executable(kivro_plugin_host ${CMAKE_CURRENT_LIST_DIR}/kivro_plugin_host.cpp)
set_target_properties(kivro_plugin_host PROPERTIES OUTPUT_NAME kivro-plugin-host)
target_link_libraries(kivro_plugin_host PRIVATE kivro_com kivro_platform)

# The host's own test drives it from a POSIX shell in a virtual root; on
# Windows the plug-in's tests run it (plugin/).
if(WIN32)
  return()
endif()
kivro_add_test(kivro_plugin_host_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kivro_plugin_host_test.cpp)
target_compile_definitions(kivro_plugin_host_test PRIVATE
  KIVRO_PLUGIN_HOST="$<TARGET_FILE:kivro_plugin_host>"
  KIVRO_PLUGIN_FILE="$<TARGET_FILE:KIVROPlugin>")
add_dependencies(kivro_plugin_host_test kivro_plugin_host KIVROPlugin)
