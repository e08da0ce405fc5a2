# The one build rule for plug-ins: a plug-in class is compiled once per host format, because it
# derives from the adapter of its build (iplug/IPlugAdapter.h).
#
# zt_add_plugin(<name>
#               [CLASS <class>]             the plug-in class; default <name>
#               [HEADER <header>]           its header, from the calling folder; default <name>.h
#               SOURCES <file>...           the class and what only it uses, headers included
#               [LIBRARIES <target>...]     what the class links, in every format
#               [RESOURCES <target>]        its resource object library (zt_add_resources)
#               [AAX_TYPE_IDS <code>...]    per channel configuration, the native and second AAX
#                                           type ID (four characters each)
#               FORMATS <format>...)
#
# Formats and what each yields, in the calling folder's binary folder:
#   vst2  <name>.so / <name>.dll, target <name>: the VST2 deliverable. Exports VSTPluginMain and
#         main only, with every other symbol hidden. The C++ runtime and the libraries are linked
#         statically (on Windows by cmake/Warnings.cmake), so the module needs nothing beside
#         it but the C library (natively: libc and libm).
#   aax   <name>.aaxplugin/Contents/<arch>/<name>.aaxplugin, target <name>_aax: the AAX
#         deliverable (a DLL on Windows, arch x64; a shared object elsewhere, arch
#         x86_64-linux). Exports the seven ACF entry points only, linked like the VST2 module.
#   test  static library <name>_test on the host-less adapter (iplug/test), for tests,
#         benchmarks and offline tools; it carries the resources to whatever links it.
# The deliverables get the platform's editor (the Windows window on Windows), the test format
# the headless one (igraphics/IGraphicsPlatform.h).
function(zt_add_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "CLASS;HEADER;RESOURCES"
                        "SOURCES;LIBRARIES;FORMATS;AAX_TYPE_IDS")
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
      zt_plugin_module(${target} ${name} vst2 "${arg_SOURCES}" "${headers}" ${header_path}
                       ${arg_CLASS})
      target_link_libraries(${target} PRIVATE zt_iplug_vst2 zt_editor_platform ${arg_LIBRARIES}
                                              ${arg_RESOURCES})
    elseif(format STREQUAL "aax")
      set(target ${name}_aax)
      zt_plugin_module(${target} ${name} aax "${arg_SOURCES}" "${headers}" ${header_path}
                       ${arg_CLASS})
      target_link_libraries(${target} PRIVATE zt_iplug_aax zt_editor_platform ${arg_LIBRARIES}
                                              ${arg_RESOURCES})
      list(JOIN arg_AAX_TYPE_IDS " " type_ids)
      target_compile_definitions(${target} PRIVATE ZT_AAX_TYPE_IDS="${type_ids}")
      if(WIN32)
        set(arch x64)
      else()
        set(arch x86_64-linux)
      endif()
      # The folder layout AAX hosts load from; the file keeps the bundle's name, which a DLL's
      # export directory carries too.
      set_target_properties(${target} PROPERTIES
        SUFFIX ".aaxplugin"
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name}.aaxplugin/Contents/${arch})
    else()
      message(FATAL_ERROR "zt_add_plugin(${name}): unknown format ${format}")
    endif()
  endforeach()
endfunction()

# A plug-in module of one host format: the plug-in's sources with the format's entry file,
# nothing exported but the format's entry points (iplug/<format>/exports.map; on Windows the
# entries carry dllexport, which turns off MinGW's export of everything).
function(zt_plugin_module target name format sources headers header_path class)
  if(format STREQUAL "vst2")
    set(entry ${CMAKE_SOURCE_DIR}/iplug/vst2/VSTEntry.cpp)
  else()
    set(entry ${CMAKE_SOURCE_DIR}/iplug/aax/AAXEntry.cpp)
  endif()
  list(APPEND sources ${entry})
  if(WIN32)
    list(APPEND sources ${CMAKE_SOURCE_DIR}/os/ModuleWin32.cpp) # the DLL entry routine
  endif()
  add_library(${target} MODULE ${sources})
  zt_include_root(${target} PRIVATE ${headers})
  target_compile_definitions(${target} PRIVATE ZT_PLUGIN_HEADER="${header_path}"
                                               ZT_PLUGIN_CLASS=${class})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(NOT WIN32)
    set(export_map ${CMAKE_SOURCE_DIR}/iplug/${format}/exports.map)
    target_link_options(${target} PRIVATE -Wl,--version-script=${export_map})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${export_map})
    # Sanitizer runtimes live in the host executable, so their symbols are undefined here.
    if(NOT ZT_SANITIZE AND NOT ZT_TSAN AND NOT ZT_FUZZ)
      target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
    # The C++ runtime inside too, like the libraries (scripts/deps.sh linux).
    zt_portable_runtime(${target})
  endif()
endfunction()
