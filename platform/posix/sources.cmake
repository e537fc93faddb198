# The POSIX backend's files, per area of the platform layer (see
# platform/CMakeLists.txt), and the system libraries they need.
find_package(X11 REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2 SDL2_ttf)
set(_posix ${CMAKE_CURRENT_LIST_DIR})

set(KIVRO_BACKEND_CORE
  ${_posix}/error.cpp ${_posix}/codepage.cpp ${_posix}/paths.cpp ${_posix}/folder_names.cpp ${_posix}/filetime.cpp
  ${_posix}/file.cpp ${_posix}/file_inside.cpp ${_posix}/fd_io.cpp ${_posix}/thread.cpp
  ${_posix}/debug.cpp ${_posix}/dynlib.cpp ${_posix}/initialize.cpp)
set(KIVRO_BACKEND_CORE_LIBS ${CMAKE_DL_LIBS})
set(KIVRO_BACKEND_TESTING ${_posix}/testing/temp_root.cpp ${_posix}/testing/local_addresses.cpp
    ${_posix}/testing/host_command.cpp)
set(KIVRO_BACKEND_COM ${_posix}/com_system.cpp ${_posix}/com_create.cpp)
set(KIVRO_BACKEND_CONSOLE ${_posix}/console.cpp)
set(KIVRO_BACKEND_FILE_MODE ${_posix}/file_mode.cpp)
set(KIVRO_BACKEND_FILE_RANGE ${_posix}/file_range.cpp)
set(KIVRO_BACKEND_GUI ${_posix}/gui/gdi_font.cpp ${_posix}/gui/sdl/sdl_backend.cpp)
set(KIVRO_BACKEND_GUI_LIBS PkgConfig::SDL2)
set(KIVRO_BACKEND_INTERNET
  ${_posix}/internet_socket.cpp ${_posix}/internet_measure.cpp ${_posix}/internet_proxy.cpp)
set(KIVRO_BACKEND_POSIX_REGEX ${_posix}/posix_regex.cpp)
set(KIVRO_BACKEND_PROCESS ${_posix}/process.cpp ${_posix}/process_scheme_handler.cpp)
set(KIVRO_BACKEND_PROCESSES ${_posix}/processes.cpp)
set(KIVRO_BACKEND_REGISTRY ${_posix}/registry.cpp ${_posix}/registry_store.cpp)
set(KIVRO_BACKEND_SHARED_MEMORY
  ${_posix}/shared_memory_file.cpp ${_posix}/shared_memory.cpp ${_posix}/named_mutex.cpp)
set(KIVRO_BACKEND_SYSTEM_INFO ${_posix}/system_info.cpp)
set(KIVRO_BACKEND_SYSTEM_INFO_LIBS X11::X11)
set(KIVRO_BACKEND_TOP_WINDOWS ${_posix}/top_windows.cpp)
set(KIVRO_BACKEND_TOP_WINDOWS_LIBS X11::X11)
