# Kernel-side range copies for saving big files.
add_library(kivro_file_range STATIC posix/file_range.cpp)
target_link_libraries(kivro_file_range PUBLIC kivro_platform)
