# How test executables become ctest entries.
include(GoogleTest)

# zt_add_gtest(<target> [FILTER <gtest filter>] [LABELS <label>...])
#   The program runs in a shared-memory session of its own (tests/support/ProcessSession.cpp).
#   Natively every GoogleTest case is a ctest entry of its own, so that a failure names its test
#   and ctest runs the cases of a suite in parallel; the cases are listed when ctest runs, not at
#   build time. Under Wine a process start costs seconds, so there the executable stays one entry.
function(zt_add_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FILTER" "LABELS")
  target_link_libraries(${target} PRIVATE zt_process_session)
  if(CMAKE_CROSSCOMPILING)
    set(args "")
    if(arg_FILTER)
      set(args --gtest_filter=${arg_FILTER})
    endif()
    add_test(NAME ${target} COMMAND ${target} ${args})
    if(arg_LABELS)
      set_tests_properties(${target} PROPERTIES LABELS "${arg_LABELS}")
    endif()
  else()
    set(options DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_PREFIX "${target}.")
    if(arg_FILTER)
      list(APPEND options TEST_FILTER ${arg_FILTER})
    endif()
    if(arg_LABELS)
      list(APPEND options PROPERTIES LABELS "${arg_LABELS}")
    endif()
    gtest_discover_tests(${target} ${options})
  endif()
endfunction()

# zt_load_module(<test target> <module target> <macro>)
#   Defines <macro> as the path from which the test loads the plug-in module, and builds the
#   module first. On Windows the DLL is copied beside the test, where LoadLibrary looks first,
#   whenever it is rebuilt (also when the test itself is not relinked).
function(zt_load_module test module macro)
  if(WIN32)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/$<TARGET_FILE_NAME:${module}>)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${test}_${module}.copied)
    add_custom_command(OUTPUT ${stamp}
                       COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${module}> ${copy}
                       COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
                       DEPENDS ${module} $<TARGET_FILE:${module}>)
    add_custom_target(${test}_${module}_copy DEPENDS ${stamp})
    add_dependencies(${test} ${test}_${module}_copy)
    target_compile_definitions(${test} PRIVATE ${macro}="$<TARGET_FILE_NAME:${module}>")
  else()
    target_compile_definitions(${test} PRIVATE ${macro}="$<TARGET_FILE:${module}>")
  endif()
  add_dependencies(${test} ${module})
endfunction()

# zt_add_windowed_test(<target>)
#   A Windows test program that opens real windows: it runs under Wine on a virtual X server of
#   its own (xvfb-run), with a Wine server of its own (cmake/wine-run.sh --windowed), and in a
#   shared-memory session of its own, as zt_add_gtest's programs.
function(zt_add_windowed_test target)
  target_link_libraries(${target} PRIVATE zt_process_session)
  add_test(NAME ${target}
           COMMAND xvfb-run -a -s "-screen 0 1024x768x24" ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh
                   --windowed ${target} $<TARGET_FILE:${target}>
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  # xvfb-run -a picks the first free display number by looking, which two starting at the same
  # moment can both pick.
  set_tests_properties(${target} PROPERTIES RESOURCE_LOCK virtual_x_server)
endfunction()

# zt_add_export_test(<name> <module target> [DLL_NAME <name>] EXPECTED <export>...)
#   The module exports exactly these names and needs only the system: a Windows DLL imports only
#   system DLLs (and carries DLL_NAME in its export directory when given); a shared object needs
#   only the C library and its companions (not checked in sanitizer builds, whose modules need
#   the sanitizers' runtimes).
function(zt_add_export_test name module)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "DLL_NAME" "EXPECTED")
  if(WIN32)
    set(tool ${CMAKE_OBJDUMP})
    set(kind pe)
  else()
    set(tool ${CMAKE_NM})
    set(kind elf)
    if(NOT ZT_SANITIZE AND NOT ZT_TSAN AND NOT ZT_FUZZ)
      set(readelf ${CMAKE_READELF})
    endif()
  endif()
  list(JOIN arg_EXPECTED "\\;" expected)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DMODULE=$<TARGET_FILE:${module}> -DTOOL=${tool}
                   -DKIND=${kind} "-DEXPECTED=${expected}" "-DDLL_NAME=${arg_DLL_NAME}"
                   "-DREADELF=${readelf}" -P ${CMAKE_SOURCE_DIR}/tests/support/CheckExports.cmake)
endfunction()

# zt_add_chroot_test(<name> <host tool target> <module target> [<tool argument>...])
#   Natively, outside sanitizer builds: the host tool runs the module in an empty root holding
#   only them and the C library (tests/support/chroot-run.sh).
function(zt_add_chroot_test name tool module)
  if(ZT_PORTABLE_LINK)
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/tests/support/chroot-run.sh $<TARGET_FILE:${tool}>
                     $<TARGET_FILE:${module}> ${ARGN})
  endif()
endfunction()
