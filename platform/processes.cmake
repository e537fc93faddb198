# Process snapshots (Tool Help on Windows, /proc on POSIX).
add_library(kivro_processes STATIC posix/processes.cpp)
target_link_libraries(kivro_processes PUBLIC kivro_platform)

kivro_add_test(processes_test
  SOURCES posix/processes_test.cpp
  LIBS kivro_processes)
