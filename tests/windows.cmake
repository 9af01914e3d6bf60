# The tests of the Windows build: the unit tests with the console's text
# conversions, and the real cardstow.exe run on piped answers. Cross-built,
# they run under Wine (CMAKE_CROSSCOMPILING_EMULATOR, cmake/mingw-w64-x86_64.cmake)
# in a Wine prefix made once, before a test program is first run to list its
# tests.
target_sources(cardstow_unit_tests PRIVATE
  platform_windows.cpp
  console_text_test.cpp)
target_link_libraries(cardstow_unit_tests PRIVATE cardstow_terminal)
# cardstow.exe's version resource and manifest; the unit tests carry the
# same manifest.
target_sources(cardstow_unit_tests PRIVATE windows_program_test.cpp
  ${CARDSTOW_MANIFEST_RC})
target_link_libraries(cardstow_unit_tests PRIVATE version)
target_compile_definitions(cardstow_unit_tests PRIVATE
  CARDSTOW_BINARY="$<TARGET_FILE:cardstow>"
  CARDSTOW_VERSION=L"${PROJECT_VERSION}"
  CARDSTOW_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  CARDSTOW_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  CARDSTOW_VERSION_PATCH=${PROJECT_VERSION_PATCH})
add_dependencies(cardstow_unit_tests cardstow)

# Cross-built without Wine, nothing can run: under CI that is an error,
# elsewhere one test is skipped, saying what it needs.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(need "needs wine (apt-get install wine64 wine) to run the Windows tests")
  if("$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "${need} (CI=true)")
  endif()
  message(STATUS "${need}: they are skipped")
  add_test(NAME wine_is_installed COMMAND sh -c "echo '${need}'; exit 77")
  set_tests_properties(wine_is_installed PROPERTIES SKIP_RETURN_CODE 77)
  return()
endif()

if(CARDSTOW_WINE AND CMAKE_CROSSCOMPILING_EMULATOR)
  set(prefix_made ${CMAKE_CURRENT_BINARY_DIR}/wine_prefix.made)
  add_custom_command(OUTPUT ${prefix_made}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot -i
    # Windows 10, whose version a program sees only when its manifest names
    # it (Wine 8 starts a prefix as Windows 7).
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} winecfg /v win10
    COMMAND ${CMAKE_COMMAND} -E touch ${prefix_made}
    COMMENT "Making the Wine prefix the tests run in"
    VERBATIM)
  add_custom_target(cardstow_wine_prefix DEPENDS ${prefix_made})
  add_dependencies(cardstow_unit_tests cardstow_wine_prefix)
endif()
# Each start of a program under Wine takes seconds.
gtest_discover_tests(cardstow_unit_tests DISCOVERY_TIMEOUT 120)

# cardstow.exe on piped answers, checked by a script: console output, record
# file and exit status of a session, with LF and with CR LF answers, saved
# with a UTF-8 byte-order mark or as UTF-16; a Ctrl-Z ending the answers; a UTF-8
# file name; the answers file refused as the record; an existing record
# replaced; a record another program holds open refused; taskkill /f before
# the sheet leaving no file; Ctrl-C during the perks keeping the sheet and the
# perks so far as the record (under Wine only); and names Windows would change or take for a
# device, refused with nothing written.
find_program(CARDSTOW_BASH bash REQUIRED)
set(check ${CMAKE_CURRENT_SOURCE_DIR}/windows_run_check.sh)
set(run_cardstow $<TARGET_FILE:cardstow> ${CMAKE_CROSSCOMPILING_EMULATOR})
foreach(kind IN ITEMS session crlf_session bom_session utf16le_session
    utf16be_session utf8_name answers_file ctrl_z utf16_ctrl_z replace_session
    other_program forced_end ctrl_c_perks)
  add_test(NAME cardstow_exe.${kind}
    COMMAND ${CARDSTOW_BASH} ${check} ${kind} ${run_cardstow})
endforeach()
set_tests_properties(cardstow_exe.ctrl_c_perks PROPERTIES SKIP_RETURN_CODE 77)
foreach(refusal IN ITEMS "device:NUL.TXT" "device:aux.txt" "device:COM1.TXT"
    "dot:hero.TXT." "space:hero.TXT " "colon:a:b.TXT" "character:a<b.TXT"
    "namespace:\\\\.\\COM10" "namespace://./GLOBALROOT/Device/Null"
    "folder_dot:sub./hero.TXT" "folder_space:sub /hero.TXT"
    "folder:x.TXT\\.")
  string(REGEX MATCH "^([^:]*):(.*)$" refusal "${refusal}")
  add_test(NAME "cardstow_exe.refuses_${CMAKE_MATCH_1} ${CMAKE_MATCH_2}"
    COMMAND ${CARDSTOW_BASH} ${check} refused "${CMAKE_MATCH_2}"
      ${run_cardstow})
endforeach()
