# Finds libedit and the libraries it needs as static archives, and checks that
# a program using it links with them.

# Sets `libraries` to the archives to link, in link order, and `missing` to
# what was not found or did not link (empty when all is well).
function(cardstow_find_static_libedit libraries missing)
  find_path(CARDSTOW_HISTEDIT_INCLUDE_DIR histedit.h)
  # libedit itself; the terminal database (termcap functions) from ncurses'
  # libtinfo; strlcpy and vis from libbsd.
  find_library(CARDSTOW_LIBEDIT_ARCHIVE NAMES libedit.a)
  find_library(CARDSTOW_LIBTINFO_ARCHIVE NAMES libtinfo.a libncurses.a)
  find_library(CARDSTOW_LIBBSD_ARCHIVE NAMES libbsd.a)
  set(absent)
  foreach(item IN ITEMS HISTEDIT_INCLUDE_DIR LIBEDIT_ARCHIVE LIBTINFO_ARCHIVE
                        LIBBSD_ARCHIVE)
    if(NOT CARDSTOW_${item})
      list(APPEND absent ${item})
    endif()
  endforeach()
  if(absent)
    string(REPLACE ";" ", " absent "${absent}")
    set(${missing} "not found: ${absent}" PARENT_SCOPE)
    return()
  endif()
  set(found ${CARDSTOW_LIBEDIT_ARCHIVE} ${CARDSTOW_LIBTINFO_ARCHIVE}
    ${CARDSTOW_LIBBSD_ARCHIVE})

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
    }]] CARDSTOW_LIBEDIT_LINKS_STATICALLY)
  if(NOT CARDSTOW_LIBEDIT_LINKS_STATICALLY)
    set(${missing} "a program does not link with ${found}" PARENT_SCOPE)
    return()
  endif()
  set(${libraries} ${found} PARENT_SCOPE)
  set(${missing} "" PARENT_SCOPE)
endfunction()
