# The plug-in file's resource section on Windows: the type library compiled
# from KIVROPlugin.idl by widl, the registrar scripts and the version, all
# through KIVROPlugin.rc (windres, CMake's RC language).
#
# widl comes with mingw-w64-tools; the system's IDL files it imports
# (oaidl.idl, ocidl.idl) with libwine-dev, and the standard library it
# refers to (stdole2.tlb) with wine.
enable_language(RC)
find_program(KIVRO_WIDL NAMES ${KIVRO_MINGW_TRIPLE}-widl widl REQUIRED)
find_path(KIVRO_IDL_INCLUDE oaidl.idl
  PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(KIVRO_STDOLE2_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
        /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows /usr/lib64/wine/x86_64-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_widl_bits --win64)
else()
  set(_widl_bits --win32)
endif()

# The help strings reach the library in the Korean ANSI code page, as the
# system reads a library's 8-bit strings.
set(_idl ${CMAKE_CURRENT_BINARY_DIR}/KIVROPlugin.idl)
set(_tlb ${CMAKE_CURRENT_BINARY_DIR}/KIVROPlugin.tlb)
add_custom_command(OUTPUT ${_tlb}
  COMMAND iconv -f UTF-8 -t CP949 -o ${_idl} ${CMAKE_CURRENT_SOURCE_DIR}/KIVROPlugin.idl
  COMMAND ${KIVRO_WIDL} ${_widl_bits} -t -I ${KIVRO_IDL_INCLUDE} -L ${KIVRO_STDOLE2_DIR}
          -o ${_tlb} ${_idl}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/KIVROPlugin.idl
  COMMENT "Compiling the plug-in's type library with widl" VERBATIM)
add_custom_target(kivro_plugin_tlb DEPENDS ${_tlb})

add_library(kivro_plugin_resources OBJECT KIVROPlugin.rc)
target_include_directories(kivro_plugin_resources PRIVATE ${CMAKE_CURRENT_BINARY_DIR}
                           ${CMAKE_CURRENT_SOURCE_DIR})
add_dependencies(kivro_plugin_resources kivro_plugin_tlb)
set_source_files_properties(KIVROPlugin.rc PROPERTIES OBJECT_DEPENDS
  "${_tlb};${CMAKE_CURRENT_SOURCE_DIR}/KIVROPluginApp.rgs;${CMAKE_CURRENT_SOURCE_DIR}/KIVROPlugin.rgs")
