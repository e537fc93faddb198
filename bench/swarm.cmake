# What the swarm engine saves the download server: N players of
# kivro-update --peer against nginx as web seed, against plain HTTP.
if(TARGET kivro_swarmlet_torrent_engine)
  kivro_add_bench(bench_swarm
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/swarm_bench.cpp
    LIBS kivro_test_servers kivro_publish_torrent kivro_internet kivro_platform)
  if(TARGET bench_swarm)
    target_compile_definitions(bench_swarm PRIVATE
      KIVRO_UPDATE_PROGRAM="$<TARGET_FILE:kivro-update>"
      KIVRO_TORRENT_ENGINE="$<TARGET_FILE:kivro_swarmlet_torrent_engine>")
    add_dependencies(bench_swarm kivro-update kivro_swarmlet_torrent_engine)
  endif()
endif()
