# Named shared memory and named mutexes across processes.
if(NOT KIVRO_HAVE_SHARED_MEMORY)
  return()
endif()
add_library(kivro_shared_memory STATIC ${KIVRO_BACKEND_SHARED_MEMORY})
target_link_libraries(kivro_shared_memory PUBLIC kivro_platform)
