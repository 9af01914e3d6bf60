// Errors and the window's end for the Windows console.
#include "terminal/console_rules_windows.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>

int errno_of_windows_error(unsigned long windows_error, int runtime_errno) {
  switch (windows_error) {
    case ERROR_NO_DATA:             // writing to a pipe being closed
    case ERROR_BROKEN_PIPE:         // the reading end closed
    case ERROR_PIPE_NOT_CONNECTED:  // what Wine gives for either
      return EPIPE;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    default:
      return runtime_errno != 0 ? runtime_errno : EIO;
  }
}

bool keeps_window_open(unsigned long console_processes, bool input_is_console,
                       bool output_is_console) {
  return console_processes == 1 && input_is_console && output_is_console;
}
