# The internet layer: sockets, HTTP/FTP response parsers, HTTP and FTP clients.
add_library(kivro_internet STATIC
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_http.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_ftp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_measure.cpp
)
target_link_libraries(kivro_internet PUBLIC kivro_platform)

kivro_add_test(internet_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/posix/internet_parse_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/posix/internet_client_test.cpp
  LIBS kivro_internet kivro_test_servers
  TIMEOUT 120)
