# HTTP response and FTP reply parsing of the internet layer. The parser
# sources are compiled into the fuzzer so that they carry its coverage
# instrumentation.
kivro_add_fuzzer(fuzz_internet
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/internet_fuzz.cpp
          ${CMAKE_SOURCE_DIR}/platform/common/internet_parse.cpp
  LIBS kivro_platform)
