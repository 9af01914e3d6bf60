// What the tests expect that differs between the platforms the program runs
// on; tests/platform_posix.cpp and tests/platform_windows.cpp define it.
#ifndef CARDSTOW_TESTS_PLATFORM_H_
#define CARDSTOW_TESTS_PLATFORM_H_

#include <functional>
#include <string>
#include <string_view>

// Whether the tests run on Windows, where names that Windows would change or
// take for a device are refused and /dev/full does not exist.
extern const bool on_windows;

// The line end that text mode writes to a file: "\n", or "\r\n" on Windows.
extern const std::string_view file_line_end;

// The errno of opening a directory to write it: EISDIR, or EACCES on Windows.
extern const int directory_open_error;

// A system call of the program's file code that a test makes fail.
enum class file_call { sync, close, rename, truncate };

// From now on each `call` the program makes first runs `before` (when set),
// then does its work and, when `error` is not 0, fails with `error` all the
// same. fail_file_call(call, 0, {}) ends that. Returns false where the tests
// cannot do this (Windows).
bool fail_file_call(file_call call, int error, std::function<void()> before);

// Makes writes that would grow a file past `size` bytes write what fits and
// fail with EFBIG; a negative `size` lifts that limit again. Returns false
// where the tests cannot do this (Windows).
bool limit_file_size(long long size);

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
