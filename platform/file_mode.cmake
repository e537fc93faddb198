# Permission bits of installed files (execute bits from zip archives).
add_library(kivro_file_mode STATIC ${KIVRO_BACKEND_FILE_MODE})
target_link_libraries(kivro_file_mode PUBLIC kivro_platform)
