# COM basics for the web plug-in and its hosts: GUIDs, strings, variants,
# IDispatch over a type description, type libraries, the registrar's scripts
# and object creation through the registry.
if(NOT KIVRO_HAVE_COM)
  return()
endif()
add_library(kivro_com STATIC
  common/com_basics.cpp
  common/com_dispatch.cpp
  common/com_typelib.cpp
  common/com_registrar.cpp
  ${KIVRO_BACKEND_COM}
)
target_link_libraries(kivro_com PUBLIC kivro_registry kivro_platform ${KIVRO_BACKEND_COM_LIBS})

kivro_add_test(com_test
  SOURCES tests/com_basics_test.cpp tests/com_dispatch_test.cpp tests/com_typelib_test.cpp
          tests/com_client_test.cpp
          tests/com_registrar_test.cpp
  LIBS kivro_com kivro_platform_testing)
