# BMP and ICO decoding of the window toolkit's resources. The decoder source
# is compiled into the fuzzer so that it carries the coverage instrumentation.
kivro_add_fuzzer(fuzz_gui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui_fuzz.cpp
          ${CMAKE_SOURCE_DIR}/platform/common/gui/gdi_bitmap.cpp)
