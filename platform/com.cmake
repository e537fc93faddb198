# COM basics for the web plug-in and its hosts: GUIDs, strings, variants,
# IDispatch over a type description, type libraries, the registrar's scripts
# and object creation through the registry.
add_library(kivro_com STATIC
  posix/com_basics.cpp
  posix/com_dispatch.cpp
  posix/com_typelib.cpp
  posix/com_registrar.cpp
  posix/com_create.cpp
)
target_link_libraries(kivro_com PUBLIC kivro_registry kivro_platform)

kivro_add_test(com_test
  SOURCES posix/com_basics_test.cpp posix/com_dispatch_test.cpp posix/com_typelib_test.cpp
          posix/com_registrar_test.cpp
  LIBS kivro_com)
