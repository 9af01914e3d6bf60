# Sanitizer and fuzzing instrumentation for every target: CARDSTOW_SANITIZE
# builds all of cardstow with ASan and UBSan, CARDSTOW_FUZZ for libFuzzer.

# Every finding stops the program at once, with a usable stack trace.
set(cardstow_sanitizer_flags
  -fsanitize=address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer)

if(CARDSTOW_FUZZ)
  foreach(lang C CXX)
    if(NOT CMAKE_${lang}_COMPILER_ID MATCHES "Clang")
      message(FATAL_ERROR
        "CARDSTOW_FUZZ needs clang for libFuzzer, but the ${lang} compiler "
        "is ${CMAKE_${lang}_COMPILER_ID} (${CMAKE_${lang}_COMPILER}). "
        "Use the fuzz preset, or set CMAKE_C_COMPILER=clang and "
        "CMAKE_CXX_COMPILER=clang++.")
    endif()
  endforeach()
  # Libraries get coverage instrumentation without libFuzzer's main; only
  # the fuzz executables link libFuzzer itself (cardstow_fuzz_target).
  add_compile_options(-fsanitize=fuzzer-no-link ${cardstow_sanitizer_flags})
  add_link_options(-fsanitize=address,undefined)
elseif(CARDSTOW_SANITIZE)
  add_compile_options(${cardstow_sanitizer_flags})
  add_link_options(-fsanitize=address,undefined)
endif()

# Makes `target` a libFuzzer executable: libFuzzer supplies its main.
function(cardstow_fuzz_target target)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endfunction()
