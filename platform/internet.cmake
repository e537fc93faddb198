# The internet layer: sockets, HTTP/FTP response parsers, HTTP and FTP clients.
add_library(kivro_internet STATIC
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_http.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_ftp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/internet_session.cpp
)
target_link_libraries(kivro_internet PUBLIC kivro_platform)
