add_executable(npk ${CMAKE_SOURCE_DIR}/tools/npk.cpp)
target_link_libraries(npk PRIVATE kivro_npk)
