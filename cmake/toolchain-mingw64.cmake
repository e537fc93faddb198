# 64-bit Windows (x86_64-w64-mingw32): `make windows` builds into build-win64/.
set(KIVRO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
