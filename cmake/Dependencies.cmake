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
  set(PKG_CONFIG_USE_STATIC_LIBS ON)
  zt_require_pkg(EBUR128 libebur128 libebur128-dev)
  # pkg_check_modules' STATIC variant is not used by IMPORTED_TARGET; libebur128 needs only libm.
else()
  zt_require_pkg(EBUR128 libebur128 libebur128-dev)
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
