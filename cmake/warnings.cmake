# Compiler warnings every cardstow target is built with; CI makes them errors
# through CMAKE_COMPILE_WARNING_AS_ERROR.
add_library(cardstow_warnings INTERFACE)
target_compile_options(cardstow_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion)
