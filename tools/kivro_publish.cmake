# The release publisher: its core is a library, since tests make their
# fixtures with it.
add_library(kivro_publish_core STATIC
  kivro_publish_release.cpp
  kivro_publish_zip.cpp
  kivro_publish_writer.cpp
)
target_link_libraries(kivro_publish_core PUBLIC kivro_patch PkgConfig::MINIZIP ZLIB::ZLIB)

add_executable(kivro-publish kivro_publish.cpp)
target_link_libraries(kivro-publish PRIVATE kivro_publish_core)
