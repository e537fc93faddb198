# Processor, screen, memory and version facts for the client report.
find_package(X11 REQUIRED)
add_library(kivro_system_info STATIC posix/system_info.cpp)
target_link_libraries(kivro_system_info PUBLIC kivro_platform PRIVATE X11::X11)

kivro_add_test(system_info_test
  SOURCES posix/system_info_test.cpp
  LIBS kivro_system_info kivro_top_windows_testing)
