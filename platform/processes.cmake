# Process snapshots (Tool Help on Windows, /proc on POSIX).
if(NOT KIVRO_HAVE_PROCESSES)
  return()
endif()
add_library(kivro_processes STATIC ${KIVRO_BACKEND_PROCESSES})
target_link_libraries(kivro_processes PUBLIC kivro_platform)
