# Project-wide compile flags: warnings, sanitizers and the static Windows runtime.
add_compile_options(-Wall -Wextra)
if(ZT_WERROR)
  add_compile_options(-Werror)
endif()

if(ZT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(ZT_SANITIZED=1)
endif()
if(ZT_FUZZ)
  # Everything is instrumented for coverage and checked; only the fuzz targets link libFuzzer's
  # main (tests/fuzz).
  add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(ZT_SANITIZED=1)
endif()
if(ZT_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(ZT_SANITIZED=1)
endif()

if(WIN32)
  # Everything we ship must run with no DLL beside it.
  add_link_options(-static-libgcc -static-libstdc++ -static)
endif()

# What we ship natively (the plug-in modules, the host tools) carries the C++ runtime inside, so
# that it needs only the C library and its companions on any distribution. Sanitizer builds keep
# the shared runtime their own runtimes expect.
set(ZT_PORTABLE_LINK FALSE)
if(NOT WIN32 AND NOT ZT_SANITIZE AND NOT ZT_TSAN AND NOT ZT_FUZZ)
  set(ZT_PORTABLE_LINK TRUE)
endif()
function(zt_portable_runtime target)
  if(ZT_PORTABLE_LINK)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--as-needed
                                          -Wl,--gc-sections)
  endif()
endfunction()
