# The `run` command of the operator's tool kivro-update: a whole update from
# the command line with the update manager and its own roles.
add_library(kivro_update_run STATIC ${CMAKE_CURRENT_LIST_DIR}/kivro_update_run.cpp)
target_link_libraries(kivro_update_run PUBLIC kivro_update kivro_own_roles kivro_update kivro_console kivro_platform)
