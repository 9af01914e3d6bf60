# Installation layout, the Debian package and the RPM package. Install
# components:
#   program  bin/cardstow
#   manual   share/man/man1/cardstow.1, as written (man/CMakeLists.txt)
#   debian   share/man/man1/cardstow.1.gz, share/doc/cardstow/copyright,
#            share/doc/cardstow/changelog.gz and
#            share/lintian/overrides/cardstow: what Debian wants beside the
#            program, made by a full build; left out of `cmake --install`.
#   rpm      share/man/man1/cardstow.1.gz, share/licenses/cardstow/LICENSE
#            and share/licenses/cardstow/copyright: the same for an RPM,
#            also left out of `cmake --install`.
# `cmake --install` installs program and manual; `cpack -G DEB` packages
# program and debian, `cpack -G RPM` program and rpm
# (cmake/cpack_per_generator.cmake).
include(GNUInstallDirs)

install(TARGETS cardstow RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  COMPONENT program)
# When stripping (`cmake --install --strip`, CPACK_STRIP_FILES), also drop the
# compilers' version strings, as dh_strip does.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:cardstow>\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()" COMPONENT program)

# The package's changelog, compressed like the manual page.
set(cardstow_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_command(OUTPUT changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${cardstow_changelog} changelog
  COMMAND ${CARDSTOW_GZIP} -9nf changelog
  DEPENDS ${cardstow_changelog}
  COMMENT "Compressing the package changelog"
  VERBATIM)
add_custom_target(cardstow_changelog_gz ALL
  DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
# packaging/copyright is in Debian's machine-readable format and goes in as
# it is: a library linked statically into the program adds a paragraph there.
install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT debian EXCLUDE_FROM_ALL)
# The lintian tag the statically linked line editor raises, with the reason.
install(FILES packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME cardstow COMPONENT debian EXCLUDE_FROM_ALL)

# The RPM's licence files: LICENSE, and packaging/copyright for the notices
# of the libraries linked statically into the program. The RPM marks both as
# licence files.
install(FILES LICENSE packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/licenses/${PROJECT_NAME}
  COMPONENT rpm EXCLUDE_FROM_ALL)

# Debian package, built in the build tree with `cpack -G DEB`.
set(CARDSTOW_PACKAGE_CONTACT "The cardstow developers <cardstow@example.org>"
  CACHE STRING "Maintainer named in the cardstow package (Name <address>)")

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/"
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
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

# RPM package, built in the build tree with `cpack -G RPM`; what it holds is
# chosen per generator when cpack runs.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_per_generator.cmake)
set(CPACK_CARDSTOW_RPM_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/"
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};rpm;/")
set(CARDSTOW_PACKAGE_URL "https://cardstow.example.org/"
  CACHE STRING "Home page named in the cardstow package")
set(CPACK_RPM_PACKAGE_URL "${CARDSTOW_PACKAGE_URL}")
# RPM summaries start with a capital letter (Debian's with a small one).
set(CPACK_RPM_PACKAGE_SUMMARY
  "Console questionnaire that stores a character sheet as a text record")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# cardstow's own licence and those of the libraries linked statically into
# the program, as packaging/copyright names them, in SPDX terms: GCC's C++
# and runtime libraries, and utf8proc with its Unicode data tables.
set(CPACK_RPM_PACKAGE_LICENSE "MIT AND Unicode-DFS-2016 AND GPL-3.0-or-later WITH GCC-exception-3.1")
set(CPACK_RPM_PACKAGE_GROUP "Amusements/Games")
set(CPACK_RPM_PACKAGE_RELEASE 1)
# cardstow-<version>-<release>.<architecture>.rpm
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_SOURCE_DIR}/packaging/rpm-changelog)
# The package owns only its own directories, not the system's.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
  /usr/share/man /usr/share/man/man1 /usr/share/licenses)
set(CPACK_RPM_USER_FILELIST
  "%license /usr/share/licenses/${PROJECT_NAME}/LICENSE"
  "%license /usr/share/licenses/${PROJECT_NAME}/copyright")
# The packager tag, and no /usr/lib/.build-id links: the package holds the
# program, its manual page and its licence files, nothing else.
set(CPACK_RPM_SPEC_MORE_DEFINE
  "%define packager ${CARDSTOW_PACKAGE_CONTACT}
%define _build_id_links none")

include(CPack)
