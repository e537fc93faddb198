kivro_add_bench(bench_npk SOURCES ${CMAKE_SOURCE_DIR}/bench/npk_bench.cpp LIBS kivro_npk)
