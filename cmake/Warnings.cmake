# Compiler warnings for every target of the project, applied through an INTERFACE target.
option(BACKREEL_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ON)

add_library(backreel_warnings INTERFACE)
target_compile_options(backreel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual)
if(BACKREEL_WARNINGS_AS_ERRORS)
  target_compile_options(backreel_warnings INTERFACE -Werror)
endif()
