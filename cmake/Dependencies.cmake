# Third-party libraries, found through pkg-config. The plug-ins' libraries (libebur128, libpng,
# FreeType, cairo with pixman, zlib) come as static archives from the prefix that
# scripts/deps.sh builds for the target, so that every module carries them inside; the tools'
# own (libsndfile natively) come from the system.
find_package(PkgConfig REQUIRED)

function(zt_require_pkg target module package)
  pkg_check_modules(${target} IMPORTED_TARGET ${module})
  if(NOT ${target}_FOUND)
    if(WIN32)
      message(FATAL_ERROR "${module} not found for win64: run scripts/deps.sh win64 first")
    else()
      message(FATAL_ERROR "${module} not found: install the Debian package ${package}")
    endif()
  endif()
endfunction()

if(WIN32)
  set(ZT_STATIC_PREFIX ${ZT_WIN64_PREFIX})
  set(ZT_DEPS_TARGET win64)
else()
  if(NOT ZT_LINUX_PREFIX)
    if(DEFINED ENV{ZT_LINUX_PREFIX})
      set(ZT_LINUX_PREFIX $ENV{ZT_LINUX_PREFIX})
    else()
      set(ZT_LINUX_PREFIX $ENV{HOME}/.cache/zolvartesk/linux-prefix)
    endif()
  endif()
  set(ZT_LINUX_PREFIX ${ZT_LINUX_PREFIX} CACHE PATH
      "Static position-independent prefix of the plug-ins' libraries")
  set(ZT_STATIC_PREFIX ${ZT_LINUX_PREFIX})
  set(ZT_DEPS_TARGET linux)
endif()

# pkg_check_modules' IMPORTED_TARGET takes the shared view of a .pc (no Libs.private) and lets
# find_library prefer a shared or import library (zlib's libz.dll.a) over the static one; both
# break a static link. These targets take pkg-config's --static view and accept only lib<name>.a
# files from the prefix, in pkg-config's order (each library before the ones it uses). The
# system's libraries stay as they are: static archives from the MinGW sysroot on Windows, the
# shared C library companions (-lm) natively.
# Sets an environment variable back to a saved value; an empty one unsets it (an empty
# PKG_CONFIG_LIBDIR would hide every .pc file).
function(zt_restore_env var value)
  if(value STREQUAL "")
    unset(ENV{${var}})
  else()
    set(ENV{${var}} "${value}")
  endif()
endfunction()

function(zt_require_static_pkg target module)
  if(WIN32)
    pkg_check_modules(${target} QUIET ${module}) # the toolchain file points pkg-config there
  else()
    # Only the prefix: neither the system's .pc files nor a caller's search paths. The CMake
    # variable is this function's own; the environment is the process's and is put back.
    set(saved_libdir "$ENV{PKG_CONFIG_LIBDIR}")
    set(saved_path "$ENV{PKG_CONFIG_PATH}")
    set(ENV{PKG_CONFIG_LIBDIR} "${ZT_STATIC_PREFIX}/lib/pkgconfig")
    unset(ENV{PKG_CONFIG_PATH})
    set(PKG_CONFIG_USE_CMAKE_PREFIX_PATH OFF)
    pkg_check_modules(${target} QUIET ${module})
    zt_restore_env(PKG_CONFIG_LIBDIR "${saved_libdir}")
    zt_restore_env(PKG_CONFIG_PATH "${saved_path}")
  endif()
  if(NOT ${target}_FOUND)
    message(FATAL_ERROR
      "${module} not found in ${ZT_STATIC_PREFIX}: run scripts/deps.sh ${ZT_DEPS_TARGET} first")
  endif()
  set(implicit ${CMAKE_C_IMPLICIT_INCLUDE_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
  set(includes "")
  foreach(dir IN LISTS ${target}_STATIC_INCLUDE_DIRS)
    cmake_path(NORMAL_PATH dir)
    string(REGEX REPLACE "(.)/$" "\\1" dir "${dir}")
    # The sysroot's own include folder (from zlib.pc) must keep its place after libstdc++'s.
    if(NOT dir IN_LIST implicit)
      list(APPEND includes ${dir})
    endif()
  endforeach()
  set(dirs "")
  foreach(dir IN LISTS ${target}_STATIC_LIBRARY_DIRS)
    cmake_path(NORMAL_PATH dir)
    list(APPEND dirs ${dir})
  endforeach()
  foreach(root IN LISTS CMAKE_FIND_ROOT_PATH)
    list(APPEND dirs ${root}/lib) # the system's import libraries (gdi32, msimg32)
  endforeach()
  # Each library once, at its last place: that keeps every user before what it uses.
  set(names ${${target}_STATIC_LIBRARIES})
  list(REVERSE names)
  list(REMOVE_DUPLICATES names)
  list(REVERSE names)
  # The system's libraries use none of ours: they go last.
  set(libs "")
  set(system_libs "")
  foreach(name IN LISTS names)
    unset(ZT_LIB_${name} CACHE) # a changed prefix must not keep an old answer
    find_library(ZT_LIB_${name} NAMES lib${name}.a HINTS ${dirs} NO_DEFAULT_PATH)
    if(ZT_LIB_${name})
      cmake_path(IS_PREFIX ZT_STATIC_PREFIX "${ZT_LIB_${name}}" NORMALIZE ours)
    else()
      set(ours FALSE)
    endif()
    if(ours)
      list(APPEND libs ${ZT_LIB_${name}})
    elseif(WIN32 AND ZT_LIB_${name})
      list(APPEND system_libs ${ZT_LIB_${name}})
    elseif(WIN32)
      message(FATAL_ERROR "${module}: no static lib${name}.a in ${dirs}")
    elseif(name MATCHES "^(m|dl|pthread|rt|c)$")
      list(APPEND system_libs ${name}) # the C library's own, shared
    else()
      message(FATAL_ERROR "${module}: no static lib${name}.a in ${ZT_STATIC_PREFIX}: run "
                          "scripts/deps.sh ${ZT_DEPS_TARGET}")
    endif()
  endforeach()
  list(APPEND libs ${system_libs})
  add_library(PkgConfig::${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(PkgConfig::${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${includes}"
    INTERFACE_COMPILE_OPTIONS "${${target}_STATIC_CFLAGS_OTHER}"
    INTERFACE_LINK_LIBRARIES "${libs}"
    INTERFACE_LINK_OPTIONS "${${target}_STATIC_LDFLAGS_OTHER}")
endfunction()

zt_require_static_pkg(EBUR128 libebur128)
zt_require_static_pkg(PNG libpng16)
zt_require_static_pkg(FREETYPE freetype2)
# cairo's .pc from the prefix carries, on Windows, -DCAIRO_WIN32_STATIC_BUILD and GDI/AlphaBlend
# (gdi32, msimg32) after cairo, pixman, FreeType, libpng and zlib.
zt_require_static_pkg(CAIRO cairo)
if(WIN32)
  zt_require_static_pkg(SNDFILE sndfile)
else()
  zt_require_pkg(SNDFILE sndfile libsndfile1-dev)
endif()

# GoogleTest: the system package natively, built from Debian's source with the cross compiler.
if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
endif()
