# The one build rule for plug-ins: a plug-in class is compiled once per host format, because it
# derives from the adapter of its build (iplug/IPlugAdapter.h).
#
# zt_add_plugin(<name>
#               [CLASS <class>]             the plug-in class; default <name>
#               [HEADER <header>]           its header, from the calling folder; default <name>.h
#               SOURCES <file>...           the class and what only it uses, headers included
#               [LIBRARIES <target>...]     what the class links, in every format
#               [RESOURCES <target>]        its resource object library (zt_add_resources)
#               FORMATS <format>...)
#
# Formats and what each yields, in the calling folder's binary folder:
#   vst2  <name>.so / <name>.dll, target <name>: the VST2 deliverable. Exports VSTPluginMain and
#         main only, with every other symbol hidden; on Windows the runtime and the libraries are
#         linked statically (cmake/Warnings.cmake), so the DLL needs nothing beside it.
#   test  static library <name>_test on the host-less adapter (iplug/test), for tests,
#         benchmarks and offline tools; it carries the resources to whatever links it.
# The deliverables get the platform's editor (the Windows window on Windows), the test format
# the headless one (igraphics/IGraphicsPlatform.h).
function(zt_add_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "CLASS;HEADER;RESOURCES" "SOURCES;LIBRARIES;FORMATS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zt_add_plugin(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_SOURCES OR NOT arg_FORMATS)
    message(FATAL_ERROR "zt_add_plugin(${name}) needs SOURCES and FORMATS")
  endif()
  if(NOT arg_CLASS)
    set(arg_CLASS ${name})
  endif()
  if(NOT arg_HEADER)
    set(arg_HEADER ${name}.h)
  endif()
  file(RELATIVE_PATH header_path ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${arg_HEADER})
  set(headers ${arg_SOURCES})
  list(FILTER headers INCLUDE REGEX "\\.h$")
  list(APPEND headers ${arg_HEADER})
  list(REMOVE_DUPLICATES headers)

  foreach(format IN LISTS arg_FORMATS)
    if(format STREQUAL "test")
      set(target ${name}_test)
      add_library(${target} STATIC ${arg_SOURCES})
      zt_include_root(${target} ${headers})
      target_link_libraries(${target} PUBLIC zt_iplug_test zt_editor_headless ${arg_LIBRARIES})
      if(arg_RESOURCES)
        # Object files, not an archive member: nothing refers to the resource table by symbol.
        target_sources(${target} INTERFACE $<TARGET_OBJECTS:${arg_RESOURCES}>)
      endif()
    elseif(format STREQUAL "vst2")
      set(target ${name})
      set(sources ${arg_SOURCES} ${CMAKE_SOURCE_DIR}/iplug/vst2/VSTEntry.cpp)
      if(WIN32)
        list(APPEND sources ${CMAKE_SOURCE_DIR}/os/ModuleWin32.cpp) # the DLL entry routine
      endif()
      add_library(${target} MODULE ${sources})
      zt_include_root(${target} PRIVATE ${headers})
      target_link_libraries(${target} PRIVATE zt_iplug_vst2 zt_editor_platform ${arg_LIBRARIES}
                                              ${arg_RESOURCES})
      target_compile_definitions(${target} PRIVATE ZT_PLUGIN_HEADER="${header_path}"
                                                   ZT_PLUGIN_CLASS=${arg_CLASS})
      set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME ${name}
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
      # On Windows only the two entry points carry dllexport, which turns off MinGW's export of
      # everything; elsewhere a version script hides all but them.
      if(NOT WIN32)
        set(export_map ${CMAKE_SOURCE_DIR}/iplug/vst2/exports.map)
        target_link_options(${target} PRIVATE -Wl,--version-script=${export_map})
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${export_map})
        # Sanitizer runtimes live in the host executable, so their symbols are undefined here.
        if(NOT ZT_SANITIZE AND NOT ZT_TSAN AND NOT ZT_FUZZ)
          target_link_options(${target} PRIVATE -Wl,--no-undefined)
        endif()
      endif()
    else()
      message(FATAL_ERROR "zt_add_plugin(${name}): unknown format ${format}")
    endif()
  endforeach()
endfunction()
