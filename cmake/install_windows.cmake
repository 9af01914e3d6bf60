# Installation layout and the ZIP package on Windows: cardstow.exe beside
# README.txt (packaging/windows/README.txt: what a Windows player needs),
# LICENSE.txt (LICENSE) and NOTICES.txt (packaging/windows/NOTICES.txt: the
# notices of the libraries linked into cardstow.exe), the three texts with
# CR LF line ends so that any Windows editor shows them. `cpack -G ZIP` in
# the build tree makes cardstow-<version>-win64.zip, whose one folder holds
# the four, the program stripped.
install(TARGETS cardstow RUNTIME DESTINATION . COMPONENT program)
set(cardstow_windows_texts
  packaging/windows/README.txt README.txt
  LICENSE LICENSE.txt
  packaging/windows/NOTICES.txt NOTICES.txt)
while(cardstow_windows_texts)
  list(POP_FRONT cardstow_windows_texts source packaged)
  configure_file(${source} ${PROJECT_BINARY_DIR}/${packaged} @ONLY
    NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/${packaged} DESTINATION .
    COMPONENT program)
endwhile()

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
