add_executable(npk ${CMAKE_SOURCE_DIR}/tools/npk.cpp)
target_link_libraries(npk PRIVATE kivro_npk kivro_console)

kivro_add_test(npk_tool_test SOURCES ${CMAKE_SOURCE_DIR}/tools/npk_tool_test.cpp
  LIBS kivro_platform kivro_test_servers)
kivro_host_program(_kivro_host_npk_tool npk)
target_compile_definitions(npk_tool_test PRIVATE KIVRO_NPK_TOOL="${_kivro_host_npk_tool}")
add_dependencies(npk_tool_test npk)
