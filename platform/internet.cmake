# The internet layer: HTTP/FTP response parsers and clients (portable) over
# the backend's sockets.
if(NOT KIVRO_HAVE_INTERNET)
  return()
endif()
add_library(kivro_internet STATIC
  ${CMAKE_CURRENT_LIST_DIR}/common/internet_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/internet_http.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/internet_ftp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/internet_session.cpp
  ${KIVRO_BACKEND_INTERNET}
)
target_link_libraries(kivro_internet PUBLIC kivro_platform)

kivro_add_test(internet_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/internet_parse_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/internet_client_test.cpp
  LIBS kivro_internet kivro_test_servers kivro_platform_testing
  TIMEOUT 120)
