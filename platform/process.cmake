# Processes: starting programs (natively or through wine), waiting for them,
# the shell's open, and URL-scheme handlers for desktops.
if(NOT KIVRO_HAVE_PROCESS)
  return()
endif()
add_library(kivro_process STATIC ${CMAKE_CURRENT_LIST_DIR}/common/command_line.cpp ${KIVRO_BACKEND_PROCESS})
target_link_libraries(kivro_process PUBLIC kivro_platform)
