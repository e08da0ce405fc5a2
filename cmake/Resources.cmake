# Module resources: a resource script (.rc) compiled by windres on Windows, and on Linux turned
# into a generated table of (id, type, bytes) by zt-rcembed, with the same lookup.

# zt_add_resources(<target> <script>)
#   An object library holding the resources the script names, linked into whatever links it:
#   an object library, so that they reach the final module even though nothing refers to them
#   by symbol. Files in the script are relative to the script's folder.
function(zt_add_resources target script)
  cmake_path(ABSOLUTE_PATH script BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  cmake_path(GET script PARENT_PATH folder)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  file(STRINGS ${script} statements REGEX "^[ \t]*[0-9]")
  set(files "")
  foreach(statement IN LISTS statements)
    if(statement MATCHES "\"([^\"]+)\"")
      list(APPEND files ${folder}/${CMAKE_MATCH_1})
    endif()
  endforeach()

  if(WIN32)
    add_library(${target} OBJECT ${script})
    # windres finds the files through the include path; it reports no dependencies of its own.
    target_include_directories(${target} PRIVATE ${folder})
    set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS "${files}")
  else()
    set(table ${CMAKE_CURRENT_BINARY_DIR}/${target}_table.cpp)
    add_custom_command(
      OUTPUT ${table}
      COMMAND zt-rcembed ${script} ${table}
      DEPENDS zt-rcembed ${script} ${files}
      COMMENT "Embedding the resources of ${script}"
      VERBATIM)
    add_library(${target} OBJECT ${table})
  endif()
  target_link_libraries(${target} PUBLIC zt_os)
endfunction()
