# Cross-compiling for Windows with Debian's mingw-w64, shared by the 64-bit
# and 32-bit toolchain files, which set KIVRO_MINGW_TRIPLE first.
#
# The posix thread model of the compilers gives std::thread; libgcc,
# libstdc++ and winpthread are linked statically, so every .exe and .dll
# runs on a bare Windows with no runtime DLL beside it.
#
# KIVRO_WINDOWS_DEPS is the folder scripts/build-windows-deps.sh filled
# (minizip, libsodium, GoogleTest built for the same target); zlib comes
# from libz-mingw-w64-dev under /usr/<triple>.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7: the oldest the system supports
set(CMAKE_C_COMPILER ${KIVRO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVRO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KIVRO_MINGW_TRIPLE}-windres)

# Passed on to the try_compile projects, which read this file again.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KIVRO_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${KIVRO_MINGW_TRIPLE} ${KIVRO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the target's libraries, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${KIVRO_WINDOWS_DEPS}/lib/pkgconfig:/usr/${KIVRO_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The C99 printf family (%zu, %lld) rather than the Microsoft runtime's.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
