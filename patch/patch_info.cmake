# Patch info of both list formats, the applier and the zip extractor.
add_library(kivro_patch STATIC
  file_byte_sum.cpp
  stamp_file_time.cpp
  verify_checks.cpp
  install_path_guard.cpp
  folder_listing_cache.cpp
  zip_file_io.cpp
  vrel_miniunz.cpp
  vrel_apply.cpp
  vrel_patch_info.cpp
  pul_base.cpp
  pul_patch_info.cpp
)
target_link_libraries(kivro_patch PUBLIC kivro_vrl kivro_npk kivro_update kivro_file_mode
  PkgConfig::MINIZIP ZLIB::ZLIB)

kivro_add_test(patch_info_test
  SOURCES file_byte_sum_test.cpp vrel_miniunz_test.cpp vrel_patch_info_test.cpp zip_file_io_test.cpp
          verify_checks_test.cpp
          vrel_apply_test.cpp pul_patch_info_test.cpp
          patch_info_test_support.cpp
  LIBS kivro_patch kivro_publish_core)

# The road of an update through the manager with the own patch info and
# applier, fixtures made by the publisher.
kivro_add_test(patch_update_flow_test
  SOURCES update_flow_test.cpp patch_info_test_support.cpp
  LIBS kivro_update kivro_own_roles kivro_patch kivro_publish_core)
