if(NOT KIVRO_HAVE_POSIX_REGEX)
  return()
endif()
kivro_add_bench(bench_regex
  SOURCES ${CMAKE_SOURCE_DIR}/bench/regex_bench.cpp
  LIBS kivro_regex kivro_posix_regex)
