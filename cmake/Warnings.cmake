# Compiler warnings for every target of the project, applied through an INTERFACE target.
option(BACKREEL_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ON)

add_library(backreel_warnings INTERFACE)
target_compile_options(backreel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual)
if(BACKREEL_WARNINGS_AS_ERRORS)
  target_compile_options(backreel_warnings INTERFACE -Werror)
endif()
# A unity build includes each source into a batch file, and GCC then takes the anonymous-namespace
# types in coroutine frames for a header's: a warning about nothing that is wrong.
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(backreel_warnings INTERFACE -Wno-subobject-linkage)
endif()
