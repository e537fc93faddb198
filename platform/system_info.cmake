# Processor, screen, memory and version facts for the client report.
if(NOT KIVRO_HAVE_SYSTEM_INFO)
  return()
endif()
add_library(kivro_system_info STATIC ${KIVRO_BACKEND_SYSTEM_INFO})
target_link_libraries(kivro_system_info PUBLIC kivro_platform PRIVATE ${KIVRO_BACKEND_SYSTEM_INFO_LIBS})
