# Third-party libraries, found through pkg-config on both targets. For win64 the toolchain file
# points pkg-config at the static prefix that scripts/win64-deps.sh builds.
find_package(PkgConfig REQUIRED)

function(zt_require_pkg target module package)
  pkg_check_modules(${target} IMPORTED_TARGET ${module})
  if(NOT ${target}_FOUND)
    if(WIN32)
      message(FATAL_ERROR "${module} not found for win64: run scripts/win64-deps.sh first")
    else()
      message(FATAL_ERROR "${module} not found: install the Debian package ${package}")
    endif()
  endif()
endfunction()

if(WIN32)
  # pkg_check_modules' IMPORTED_TARGET takes the shared view of a .pc (no Libs.private) and lets
  # find_library prefer an import library (zlib's libz.dll.a) over the static one; both break a
  # static link. These targets take pkg-config's --static view and accept only lib<name>.a files,
  # in pkg-config's order (each library before the ones it uses).
  function(zt_require_static_pkg target module)
    pkg_check_modules(${target} QUIET ${module})
    if(NOT ${target}_FOUND)
      message(FATAL_ERROR
        "${module} not found in ${ZT_WIN64_PREFIX}: run scripts/win64-deps.sh first")
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
      find_library(ZT_LIB_${name} NAMES lib${name}.a HINTS ${dirs} NO_DEFAULT_PATH)
      if(NOT ZT_LIB_${name})
        message(FATAL_ERROR "${module}: no static lib${name}.a in ${dirs}")
      endif()
      cmake_path(IS_PREFIX ZT_WIN64_PREFIX "${ZT_LIB_${name}}" NORMALIZE ours)
      if(ours)
        list(APPEND libs ${ZT_LIB_${name}})
      else()
        list(APPEND system_libs ${ZT_LIB_${name}})
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
  # cairo's .pc from the prefix carries -DCAIRO_WIN32_STATIC_BUILD and GDI/AlphaBlend (gdi32,
  # msimg32) after cairo, pixman, FreeType, libpng and zlib.
  zt_require_static_pkg(CAIRO cairo)
  zt_require_static_pkg(SNDFILE sndfile)
else()
  zt_require_pkg(EBUR128 libebur128 libebur128-dev)
  zt_require_pkg(PNG libpng16 libpng-dev)
  zt_require_pkg(FREETYPE freetype2 libfreetype-dev)
  zt_require_pkg(CAIRO cairo libcairo2-dev)
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
