# Installation layout and the ZIP package on Windows: cardstow.exe, README.md
# and LICENSE side by side. `cpack -G ZIP` in the build tree makes
# cardstow-<version>-win64.zip, whose one folder holds the three, the program
# stripped.
install(TARGETS cardstow RUNTIME DESTINATION . COMPONENT program)
install(FILES README.md LICENSE DESTINATION . COMPONENT program)

set(CPACK_GENERATOR ZIP)
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/")
set(CPACK_PACKAGE_NAME cardstow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The cardstow developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "console questionnaire that stores a character sheet as a text record")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/")

include(CPack)
