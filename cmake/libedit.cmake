# Finds libedit and ncurses' libtinfo (the terminal database, which the
# program also calls), the system's shared libraries, and checks that a
# program using them links with them.

# Sets `libraries` to the libraries to link and `missing` to what was not found
# or did not link (empty when all is well).
function(cardstow_find_libedit libraries missing)
  find_path(CARDSTOW_HISTEDIT_INCLUDE_DIR histedit.h)
  find_library(CARDSTOW_LIBEDIT_LIBRARY NAMES edit)
  find_library(CARDSTOW_LIBTINFO_LIBRARY NAMES tinfo ncurses)
  if(NOT CARDSTOW_HISTEDIT_INCLUDE_DIR OR NOT CARDSTOW_LIBEDIT_LIBRARY OR
     NOT CARDSTOW_LIBTINFO_LIBRARY)
    set(${missing} "histedit.h, libedit or libtinfo not found" PARENT_SCOPE)
    return()
  endif()
  set(found ${CARDSTOW_LIBEDIT_LIBRARY} ${CARDSTOW_LIBTINFO_LIBRARY})

  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_INCLUDES ${CARDSTOW_HISTEDIT_INCLUDE_DIR})
  set(CMAKE_REQUIRED_LIBRARIES ${found})
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles([[
    #include <cstdio>
    #include <histedit.h>
    int main() {
      EditLine* editor = el_init("check", stdin, stdout, stderr);
      el_end(editor);
      return 0;
    }]] CARDSTOW_LIBEDIT_LINKS)
  if(NOT CARDSTOW_LIBEDIT_LINKS)
    set(${missing} "a program does not link with ${found}" PARENT_SCOPE)
    return()
  endif()
  set(${libraries} ${found} PARENT_SCOPE)
  set(${missing} "" PARENT_SCOPE)
endfunction()
