// What the tests expect that differs between the platforms the program runs
// on; tests/platform_posix.cpp and tests/platform_windows.cpp define it.
#ifndef CARDSTOW_TESTS_PLATFORM_H_
#define CARDSTOW_TESTS_PLATFORM_H_

#include <string>
#include <string_view>

// Whether the tests run on Windows, where names that Windows would change or
// take for a device are refused and /dev/full does not exist.
extern const bool on_windows;

// The line end that text mode writes to a file: "\n", or "\r\n" on Windows.
extern const std::string_view file_line_end;

// The errno of opening a directory to write it: EISDIR, or EACCES on Windows.
extern const int directory_open_error;

// `text` with each "\n" written as file_line_end: the bytes of a text file
// written in text mode.
inline std::string file_bytes(std::string_view text) {
  std::string bytes;
  for (const char c : text) {
    if (c == '\n') {
      bytes += file_line_end;
    } else {
      bytes += c;
    }
  }
  return bytes;
}

#endif  // CARDSTOW_TESTS_PLATFORM_H_
