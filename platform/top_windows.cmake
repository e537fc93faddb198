# Top-level windows of every program: search by title, Z order, properties,
# messages sent and answered across processes.
if(NOT KIVRO_HAVE_TOP_WINDOWS)
  return()
endif()
add_library(kivro_top_windows STATIC ${KIVRO_BACKEND_TOP_WINDOWS})
target_link_libraries(kivro_top_windows PUBLIC kivro_platform PRIVATE ${KIVRO_BACKEND_TOP_WINDOWS_LIBS})

# What every backend's windows must do (the window program and test support
# come from the backend's targets.cmake).
kivro_add_test(top_windows_test
  SOURCES tests/top_windows_test.cpp
  LIBS kivro_top_windows_testing kivro_platform_testing)
