# The terminal: is an output a terminal, and how wide (launcher's headless mode).
if(NOT KIVRO_HAVE_CONSOLE)
  return()
endif()
add_library(kivro_console STATIC ${KIVRO_BACKEND_CONSOLE})
target_link_libraries(kivro_console PUBLIC kivro_platform)
