# BMP and ICO decoding of the window toolkit's resources. The decoder source
# is compiled into the fuzzer so that it carries the coverage instrumentation.
kivro_add_fuzzer(fuzz_gui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui_fuzz.cpp
          ${CMAKE_SOURCE_DIR}/platform/common/gui/gdi_bitmap.cpp)

# The readers of compiled resources (resource files, dialog templates,
# string blocks).
kivro_add_fuzzer(fuzz_resource_readers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/resource_readers_fuzz.cpp
          ${CMAKE_SOURCE_DIR}/platform/common/gui/resource_readers.cpp
  LIBS kivro_platform)
