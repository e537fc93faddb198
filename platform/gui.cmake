# The drawing and window toolkit (kivro_gui): software drawing, windows and
# dialogs over SDL2 or off-screen, resources built into programs.
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2 SDL2_ttf)
find_package(X11)

add_library(kivro_gui STATIC
  posix/gui/gdi_bitmap.cpp
  posix/gui/gdi_region.cpp
  posix/gui/gdi_dc.cpp
  posix/gui/gdi_font.cpp
  posix/gui/resource.cpp
  posix/gui/gui_core.cpp
  posix/gui/window.cpp
  posix/gui/controls.cpp
  posix/gui/dialog.cpp
  posix/gui/message_box.cpp
  posix/gui/testing.cpp
  posix/gui/offscreen/offscreen_backend.cpp
  posix/gui/sdl/sdl_backend.cpp
)
target_link_libraries(kivro_gui PUBLIC kivro_platform PRIVATE PkgConfig::SDL2 Threads::Threads)

# Test support: a private X server (Xvfb) with pointer moves and screenshots.
if(X11_FOUND)
  add_library(kivro_gui_xvfb STATIC posix/gui/xvfb_session.cpp)
  target_link_libraries(kivro_gui_xvfb PUBLIC kivro_gui PRIVATE ${X11_LIBRARIES} ZLIB::ZLIB)
  target_include_directories(kivro_gui_xvfb SYSTEM PRIVATE ${X11_INCLUDE_DIR})
endif()

set(KIVRO_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/posix/gui/embed_resources.cmake CACHE INTERNAL "")

# kivro_embed_resources(TARGET BITMAP id file ICON id file ...): builds the
# files into TARGET as resources (see platform/resource.h).
function(kivro_embed_resources target)
  set(items "")
  set(files "")
  set(args ${ARGN})
  list(LENGTH args n)
  set(i 0)
  while(i LESS n)
    list(GET args ${i} kind)
    math(EXPR j "${i} + 1")
    list(GET args ${j} id)
    math(EXPR j "${i} + 2")
    list(GET args ${j} path)
    list(APPEND items "${kind}|${id}|${path}")
    list(APPEND files "${path}")
    math(EXPR i "${i} + 3")
  endwhile()
  string(REPLACE ";" "|" items "${items}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${out} -DITEMS=${items} -P ${KIVRO_EMBED_SCRIPT}
    DEPENDS ${files} ${KIVRO_EMBED_SCRIPT}
    COMMENT "Embedding resources into ${target}" VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()

# The programs' artwork, drawn by scripts/make_skins.py. It is made when
# configuring, again whenever the script changes.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(KIVRO_SKIN_DIR ${CMAKE_BINARY_DIR}/skins CACHE INTERNAL "Generated skin bitmaps and icons")
get_filename_component(_kivro_skin_script ${CMAKE_CURRENT_LIST_DIR}/../scripts/make_skins.py ABSOLUTE)
if(EXISTS ${_kivro_skin_script})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_kivro_skin_script})
  if(NOT EXISTS ${KIVRO_SKIN_DIR}/stamp OR ${_kivro_skin_script} IS_NEWER_THAN ${KIVRO_SKIN_DIR}/stamp)
    execute_process(COMMAND ${Python3_EXECUTABLE} ${_kivro_skin_script} --out ${KIVRO_SKIN_DIR}
      RESULT_VARIABLE _kivro_skin_result)
    if(NOT _kivro_skin_result EQUAL 0)
      message(FATAL_ERROR "scripts/make_skins.py failed: ${_kivro_skin_result}")
    endif()
    file(TOUCH ${KIVRO_SKIN_DIR}/stamp)
  endif()
endif()

# kivro_embed_launcher_art(TARGET): the launcher's bitmaps 140 (background),
# 141 (progress strip), 145-148 (button skins) and icon 128.
function(kivro_embed_launcher_art target)
  kivro_embed_resources(${target}
    BITMAP 140 ${KIVRO_SKIN_DIR}/background.bmp
    BITMAP 141 ${KIVRO_SKIN_DIR}/progress.bmp
    BITMAP 145 ${KIVRO_SKIN_DIR}/button_start.bmp
    BITMAP 146 ${KIVRO_SKIN_DIR}/button_exit.bmp
    BITMAP 147 ${KIVRO_SKIN_DIR}/button_update.bmp
    BITMAP 148 ${KIVRO_SKIN_DIR}/button_cancel.bmp
    ICON 128 ${KIVRO_SKIN_DIR}/app.ico)
endfunction()

# kivro_embed_app_icon(TARGET): icon 128 alone (the notifier).
function(kivro_embed_app_icon target)
  kivro_embed_resources(${target} ICON 128 ${KIVRO_SKIN_DIR}/app.ico)
endfunction()

kivro_add_test(gui_test
  SOURCES posix/gui/gdi_test.cpp posix/gui/window_test.cpp posix/gui/threads_test.cpp
  LIBS kivro_gui)
