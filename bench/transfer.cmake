# Download throughput and memory of CNet against curl, from nginx on loopback.
kivro_add_bench(bench_transfer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/transfer_bench.cpp
  LIBS kivro_transfer kivro_test_servers kivro_internet)
