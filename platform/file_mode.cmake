# Permission bits of installed files (execute bits from zip archives).
add_library(kivro_file_mode STATIC posix/file_mode.cpp)
target_link_libraries(kivro_file_mode PUBLIC kivro_platform)
