# The registry: a persistent key/value store under the virtual root.
add_library(kivro_registry STATIC
  posix/registry.cpp
  posix/registry_store.cpp
)
target_link_libraries(kivro_registry PUBLIC kivro_platform)

kivro_add_test(registry_test
  SOURCES posix/registry_test.cpp posix/registry_store_test.cpp
  LIBS kivro_registry)
