# Kernel-side range copies for saving big files.
add_library(kivro_file_range STATIC posix/file_range.cpp)
target_link_libraries(kivro_file_range PUBLIC kivro_platform)
kivro_add_test(file_range_test SOURCES posix/file_range_test.cpp LIBS kivro_file_range)
