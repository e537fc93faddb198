# The registry: a persistent key/value store (under the virtual root on POSIX).
if(NOT KIVRO_HAVE_REGISTRY)
  return()
endif()
add_library(kivro_registry STATIC ${KIVRO_BACKEND_REGISTRY})
target_link_libraries(kivro_registry PUBLIC kivro_platform)
