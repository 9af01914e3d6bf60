# Read by cpack for each package generator (CPACK_PROJECT_CONFIG_FILE): the
# RPM takes the components an RPM wants instead of the Debian ones, and is
# installed where its paths say, as the distributions' own packages are (not
# relocatable, which CPack makes it by default).
if(CPACK_GENERATOR STREQUAL "RPM")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_CARDSTOW_RPM_INSTALL_CMAKE_PROJECTS}")
  set(CPACK_PACKAGE_RELOCATABLE OFF)
endif()
