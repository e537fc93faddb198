# Named shared memory and named mutexes: files under /dev/shm held by flock.
add_library(kivro_shared_memory STATIC
  posix/shared_memory_file.cpp
  posix/shared_memory.cpp
  posix/named_mutex.cpp
)
target_link_libraries(kivro_shared_memory PUBLIC kivro_platform)

kivro_add_test(shared_memory_test
  SOURCES posix/shared_memory_test.cpp posix/named_mutex_test.cpp
  LIBS kivro_shared_memory)

# Test support: another process holding a mutex or a section.
add_executable(kivro_test_named_object_holder posix/named_object_holder_program.cpp)
target_link_libraries(kivro_test_named_object_holder PRIVATE kivro_shared_memory)
