# Toolchain for cross-building cardstow for 64-bit Windows with MinGW-w64 (the
# -posix compilers of Debian's g++-mingw-w64-x86-64-posix); test programs run
# under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(cardstow_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${cardstow_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${cardstow_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${cardstow_mingw}-windres)

# Libraries and headers come from the MinGW-w64 tree only (never the build
# machine's GoogleTest); programs such as Wine from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${cardstow_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable carries its C and C++ runtimes and the threads library, so
# it imports only system DLLs and Wine runs it straight from the build tree.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Wine runs the test programs, in a Wine prefix of its own inside the build
# tree, quietly, and without offering to install Mono or Gecko.
find_program(CARDSTOW_WINE wine)
if(CARDSTOW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env
    WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= ${CARDSTOW_WINE})
endif()
