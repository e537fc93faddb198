# The drawing and window toolkit (kivro_gui): software drawing, windows and
# dialogs (portable), presented by the backend or off-screen; resources built
# into programs.
if(NOT KIVRO_HAVE_GUI)
  return()
endif()
add_library(kivro_gui STATIC
  common/gui/gdi_bitmap.cpp
  common/gui/gdi_region.cpp
  common/gui/gdi_dc.cpp
  common/gui/resource.cpp
  common/gui/gui_core.cpp
  common/gui/window.cpp
  common/gui/controls.cpp
  common/gui/dialog.cpp
  common/gui/message_box.cpp
  common/gui/offscreen/offscreen_backend.cpp
  ${KIVRO_BACKEND_GUI}
)
target_link_libraries(kivro_gui PUBLIC kivro_platform PRIVATE ${KIVRO_BACKEND_GUI_LIBS} Threads::Threads)

# Test support (never linked into a program): captures, injected input,
# message pumping.
add_library(kivro_gui_testing STATIC common/gui/window_testing.cpp)
target_link_libraries(kivro_gui_testing PUBLIC kivro_gui)

set(KIVRO_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/common/gui/embed_resources.cmake CACHE INTERNAL "")

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

kivro_add_test(gui_test
  SOURCES tests/gdi_test.cpp tests/window_test.cpp tests/threads_test.cpp
  LIBS kivro_gui kivro_gui_testing)
