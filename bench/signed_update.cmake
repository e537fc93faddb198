# The cost of signed releases: kivro-update run with and without a key,
# against a curl -K + unzip pipeline, from nginx on loopback.
kivro_add_bench(bench_signed_update
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/signed_update_bench.cpp
  LIBS kivro_test_servers kivro_release_sign)
if(TARGET bench_signed_update)
  target_compile_definitions(bench_signed_update PRIVATE
    "KIVRO_UPDATE_PROGRAM=\"$<TARGET_FILE:kivro-update>\""
    "KIVRO_PUBLISH_PROGRAM=\"$<TARGET_FILE:kivro-publish>\"")
  add_dependencies(bench_signed_update kivro-update kivro-publish)
endif()
