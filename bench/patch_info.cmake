kivro_add_bench(bench_patch_info
  SOURCES ${CMAKE_SOURCE_DIR}/bench/patch_info_bench.cpp
  LIBS kivro_patch kivro_internet)
