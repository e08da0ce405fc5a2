# Include roots that make the layering visible to the compiler.
#
# Every include names a header by its path from the source root ("iplug/IPlugBase.h"), but no
# target sees the whole source root. Instead each target gets a folder of its own in the build
# tree holding links to just its headers, at those same paths, and passes it on to the targets
# that link it. A header of a library a target does not link (a wrong-way include, such as the
# bitmap engine reaching up into the editor) is then simply not found.

# zt_include_root(<target> [PUBLIC|PRIVATE|INTERFACE] <header>...)
#   Headers are paths relative to the calling folder; PUBLIC is the default.
function(zt_include_root target)
  set(scope PUBLIC)
  set(headers ${ARGN})
  list(GET headers 0 first)
  if(first MATCHES "^(PUBLIC|PRIVATE|INTERFACE)$")
    set(scope ${first})
    list(REMOVE_AT headers 0)
  endif()
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  if(scope STREQUAL "PRIVATE")
    set(root ${root}.private)
  endif()
  foreach(header IN LISTS headers)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "zt_include_root(${target}): no header ${source}")
    endif()
    file(RELATIVE_PATH path ${CMAKE_SOURCE_DIR} ${source})
    cmake_path(GET path PARENT_PATH folder)
    file(MAKE_DIRECTORY ${root}/${folder})
    file(CREATE_LINK ${source} ${root}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# zt_include_folder(<target> [PUBLIC|PRIVATE|INTERFACE]): every header of the calling folder
# (not its subfolders).
function(zt_include_folder target)
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  zt_include_root(${target} ${ARGN} ${headers})
endfunction()
