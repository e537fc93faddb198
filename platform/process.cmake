# Processes: starting programs (natively or through wine), waiting for them,
# the shell's open, and URL-scheme handlers for desktops.
add_library(kivro_process STATIC
  posix/process.cpp
  posix/process_scheme_handler.cpp
)
target_link_libraries(kivro_process PUBLIC kivro_platform)

kivro_add_test(process_test
  SOURCES posix/process_test.cpp posix/process_scheme_handler_test.cpp
  LIBS kivro_process)
