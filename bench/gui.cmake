# Repaint cost of a launcher-like window through the window toolkit.
if(NOT KIVRO_WINDOWS_UI)
  return()
endif()
kivro_add_bench(bench_gui SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui_bench.cpp LIBS kivro_tuv kivro_gui_testing)
if(TARGET bench_gui)
  kivro_embed_launcher_art(bench_gui)
endif()
