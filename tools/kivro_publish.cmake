# The .torrent maker, the publisher's only libtorrent user (a library of
# its own: the swarm engine's tests make their torrents with it).
add_library(kivro_publish_torrent STATIC kivro_publish_torrent.cpp)
target_link_libraries(kivro_publish_torrent PUBLIC kivro_platform)
if(LIBTORRENT_FOUND)
  target_link_libraries(kivro_publish_torrent PRIVATE PkgConfig::LIBTORRENT)
  target_compile_definitions(kivro_publish_torrent PRIVATE KIVRO_HAVE_LIBTORRENT=1)
endif()

# The release publisher: its core is a library, since tests make their
# fixtures with it.
add_library(kivro_publish_core STATIC
  kivro_publish_release.cpp
  kivro_publish_zip.cpp
  kivro_publish_writer.cpp
  kivro_publish_sign.cpp
)
target_link_libraries(kivro_publish_core PUBLIC kivro_patch kivro_release_sign kivro_publish_torrent
  PkgConfig::MINIZIP ZLIB::ZLIB)

add_executable(kivro-publish kivro_publish.cpp)
target_link_libraries(kivro-publish PRIVATE kivro_publish_core)

kivro_add_test(kivro_publish_test
  SOURCES kivro_publish_test.cpp ${CMAKE_SOURCE_DIR}/patch/patch_info_test_support.cpp
  LIBS kivro_publish_core)
add_dependencies(kivro_publish_test kivro-publish)
kivro_host_program(_kivro_host_publish_tool kivro-publish)
target_compile_definitions(kivro_publish_test PRIVATE KIVRO_PUBLISH_TOOL="${_kivro_host_publish_tool}")
target_link_libraries(kivro_publish_test PRIVATE kivro_platform_testing)

kivro_add_test(kivro_publish_sign_test
  SOURCES kivro_publish_sign_test.cpp ${CMAKE_SOURCE_DIR}/patch/patch_info_test_support.cpp
  LIBS kivro_publish_core)
