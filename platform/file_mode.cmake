# Permission bits of installed files (execute bits from zip archives).
if(NOT KIVRO_HAVE_FILE_MODE)
  return()
endif()
add_library(kivro_file_mode STATIC ${KIVRO_BACKEND_FILE_MODE})
target_link_libraries(kivro_file_mode PUBLIC kivro_platform)
