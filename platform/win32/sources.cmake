# The Windows backend's files, per area of the platform layer (see
# platform/CMakeLists.txt), and the system libraries they need.
set(_win32 ${CMAKE_CURRENT_LIST_DIR})

set(KIVRO_BACKEND_CORE
  ${_win32}/error.cpp ${_win32}/wide.cpp ${_win32}/codepage.cpp ${_win32}/paths.cpp
  ${_win32}/filetime.cpp ${_win32}/file.cpp ${_win32}/file_change.cpp ${_win32}/file_inside.cpp
  ${_win32}/file_handle.cpp ${_win32}/thread.cpp
  ${_win32}/console_text.cpp ${_win32}/debug.cpp ${_win32}/dynlib.cpp ${_win32}/initialize.cpp)
# The system libraries of every area, linked once with the core (each area's
# library links the core): Winsock, COM, the registry, the shell, process
# memory counters, screen metrics.
set(KIVRO_BACKEND_CORE_LIBS ws2_32 ole32 oleaut32 advapi32 shell32 user32 psapi)
set(KIVRO_BACKEND_TESTING ${_win32}/testing/temp_root.cpp ${_win32}/testing/host_command.cpp
    ${_win32}/testing/local_addresses.cpp ${_win32}/testing/program_output.cpp)
set(KIVRO_BACKEND_TESTING_LIBS iphlpapi ws2_32)
set(KIVRO_BACKEND_FILE_MODE ${_win32}/file_mode.cpp)
set(KIVRO_BACKEND_FILE_RANGE ${_win32}/file_range.cpp)
set(KIVRO_BACKEND_SHARED_MEMORY ${_win32}/shared_memory.cpp ${_win32}/named_mutex.cpp)
set(KIVRO_BACKEND_INTERNET ${_win32}/internet_socket.cpp ${_win32}/internet_measure.cpp ${_win32}/internet_proxy.cpp)
set(KIVRO_BACKEND_PROCESS
  ${_win32}/process.cpp ${_win32}/command_line_quote.cpp ${_win32}/process_scheme_handler.cpp)
set(KIVRO_BACKEND_PROCESSES ${_win32}/processes.cpp)
set(KIVRO_BACKEND_REGISTRY ${_win32}/registry.cpp)
set(KIVRO_BACKEND_CONSOLE ${_win32}/console.cpp)
set(KIVRO_BACKEND_SYSTEM_INFO ${_win32}/system_info.cpp)
# No POSIX regular expressions on Windows: they serve only to compare our
# own engine against the system's, which the POSIX build does.
# COM needs: the system's strings, variants and interface ids (ole32,
# oleaut32, uuid), object creation through it, and for servers the system's
# type libraries.
set(KIVRO_BACKEND_COM ${_win32}/com_create.cpp ${_win32}/com_type_info.cpp)
set(KIVRO_BACKEND_COM_LIBS ole32 oleaut32 uuid)
set(KIVRO_BACKEND_TOP_WINDOWS ${_win32}/top_windows.cpp)
set(KIVRO_BACKEND_TOP_WINDOWS_LIBS user32)
# The window toolkit's presenter (real windows, the message loop), GDI text
# and the resources of the module's own resource section, which
# kivro_embed_resources fills from a .rc file (resource compiler: windres).
set(KIVRO_BACKEND_GUI
  ${_win32}/gui/win32_backend.cpp ${_win32}/gui/win32_window_style.cpp ${_win32}/gui/gdi_font.cpp
  ${_win32}/gui/module_resources.cpp ${_win32}/gui/resource_files.cpp)
set(KIVRO_BACKEND_GUI_LIBS user32 gdi32)
set(KIVRO_BACKEND_GUI_RESOURCE_SECTION ON)
