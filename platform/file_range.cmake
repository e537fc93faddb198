# Kernel-side range copies for saving big files.
if(NOT KIVRO_HAVE_FILE_RANGE)
  return()
endif()
add_library(kivro_file_range STATIC ${KIVRO_BACKEND_FILE_RANGE})
target_link_libraries(kivro_file_range PUBLIC kivro_platform)
kivro_add_test(file_range_test SOURCES tests/file_range_test.cpp
               LIBS kivro_file_range kivro_platform_testing)
