# 32-bit Windows (i686-w64-mingw32): `make windows32` compiles and links
# into its own build folder (32-bit programs cannot run on this machine's
# wine64).
set(KIVRO_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
