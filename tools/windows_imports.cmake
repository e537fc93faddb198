# On Windows: the programs, the engine and the plug-in need no DLL beside
# them (static C/C++ runtime, zlib, minizip, libsodium and libtorrent
# linked in).
if(NOT WIN32)
  return()
endif()
set(_checked $<TARGET_FILE:npk> $<TARGET_FILE:kivro-publish> $<TARGET_FILE:kivro-update>
    $<TARGET_FILE:kivro_swarmlet_engine>)
if(TARGET kivro_swarmlet_torrent_engine)
  list(APPEND _checked $<TARGET_FILE:kivro_swarmlet_torrent_engine>)
endif()
if(TARGET KIVROPlugin)
  list(APPEND _checked $<TARGET_FILE:KIVROPlugin> $<TARGET_FILE:kivro_plugin_host>)
endif()
add_test(NAME windows_imports_check
  COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/check-windows-imports.sh ${CMAKE_OBJDUMP} ${_checked})
