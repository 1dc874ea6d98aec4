# Sanitizer builds: -DBACKREEL_SANITIZE=address (ASan + UBSan) or -DBACKREEL_SANITIZE=thread (TSan).
set(BACKREEL_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
set_property(CACHE BACKREEL_SANITIZE PROPERTY STRINGS "" address thread)

add_library(backreel_sanitizers INTERFACE)
if(BACKREEL_SANITIZE STREQUAL "address")
  set(_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(BACKREEL_SANITIZE STREQUAL "thread")
  set(_flags -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT BACKREEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "BACKREEL_SANITIZE must be empty, address or thread")
endif()
if(_flags)
  # GCC's flow analysis gives false "may be used uninitialized" reports on instrumented code.
  # -O1 -g1: a third faster to build than -O2 -g, and reports still name files and lines.
  target_compile_options(backreel_sanitizers INTERFACE ${_flags} -O1 -g1 -Wno-maybe-uninitialized)
  target_link_options(backreel_sanitizers INTERFACE ${_flags})
endif()
