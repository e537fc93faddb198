# Top-level windows of every program: search by title, Z order, properties,
# messages sent and answered across processes.
if(NOT KIVRO_HAVE_TOP_WINDOWS)
  return()
endif()
add_library(kivro_top_windows STATIC ${KIVRO_BACKEND_TOP_WINDOWS})
target_link_libraries(kivro_top_windows PUBLIC kivro_platform PRIVATE ${KIVRO_BACKEND_TOP_WINDOWS_LIBS})
