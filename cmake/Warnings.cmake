# Every target of the project links morvel_warnings: warnings on, and treated as errors.
add_library(morvel_warnings INTERFACE)
target_compile_options(morvel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
  -Werror
  # GCC 12 reports std::string internals under -O3 (GCC bug 105329).
  $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
