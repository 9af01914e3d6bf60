# Installation layout and the Debian package: `cmake --install` and
# `cpack -G DEB` put the cardstow program into bin/ and its manual page into
# share/man/man1/ (the page's own install rule is in man/CMakeLists.txt).
include(GNUInstallDirs)

install(TARGETS cardstow RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian package, built in the build tree with `cpack -G DEB`.
set(CARDSTOW_PACKAGE_CONTACT "The cardstow developers <cardstow@example.org>"
  CACHE STRING "Maintainer named in the cardstow package (Name <address>)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cardstow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The cardstow developers")
set(CPACK_PACKAGE_CONTACT "${CARDSTOW_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "console questionnaire that stores a character sheet as a text record")
set(CPACK_PACKAGE_DESCRIPTION
  "cardstow takes down the sheet of one role-playing-game character through a
fixed dialogue on standard input: the character's name, level, seven
attributes, two traits, three tags and any number of perks. It stores them
as a short plain-text record file in a fixed layout, meant to be passed on
to other players. Answers can be typed at a terminal or piped in from a
prepared file.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/")

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CARDSTOW_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed from the program's shared libraries by dpkg-shlibdeps
# (packages dpkg-dev and file).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# cardstow_<version>_<architecture>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

include(CPack)
