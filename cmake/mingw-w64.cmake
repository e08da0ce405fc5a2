# Cross-build for 64-bit Windows with MinGW-w64 (POSIX threads); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)

# The static prefix built by scripts/deps.sh win64: a symlink to the folder of the current
# library versions, so this path stays the same when they change.
if(NOT ZT_WIN64_PREFIX)
  if(DEFINED ENV{ZT_WIN64_PREFIX})
    set(ZT_WIN64_PREFIX $ENV{ZT_WIN64_PREFIX})
  else()
    set(ZT_WIN64_PREFIX $ENV{HOME}/.cache/zolvartesk/win64-prefix)
  endif()
endif()
set(ZT_WIN64_PREFIX ${ZT_WIN64_PREFIX} CACHE PATH "Static MinGW-w64 prefix of the cross-built dependencies")
list(APPEND CMAKE_FIND_ROOT_PATH ${ZT_WIN64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian ships no MinGW pkg-config wrapper.
set(ENV{PKG_CONFIG_LIBDIR} "${ZT_WIN64_PREFIX}/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# Nor may a CMAKE_PREFIX_PATH of the host lead pkg-config to Linux libraries.
set(PKG_CONFIG_USE_CMAKE_PREFIX_PATH OFF)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
