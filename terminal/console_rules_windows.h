// Decisions of the Windows console code, apart from the console calls so
// that they can be tested: which errno reports a failed read or write, and
// whether a run waits before its console window closes.
#ifndef CARDSTOW_TERMINAL_CONSOLE_RULES_WINDOWS_H_
#define CARDSTOW_TERMINAL_CONSOLE_RULES_WINDOWS_H_

// The errno that reports a failed read or write of standard input or output:
// `windows_error` is the system's error code (GetLastError, or _doserrno
// after a C runtime call; 0 for none), `runtime_errno` what the C runtime
// made of it (0 for none). A pipe that no one reads any more
// (ERROR_NO_DATA, ERROR_BROKEN_PIPE, ERROR_PIPE_NOT_CONNECTED) is EPIPE, an
// invalid or closed handle (ERROR_INVALID_HANDLE) EBADF; any other error
// keeps `runtime_errno`, or is EIO when that is 0.
int errno_of_windows_error(unsigned long windows_error, int runtime_errno);

// Whether the run ends by asking for Enter before its console window
// closes: when the console belongs to this process alone
// (`console_processes`, the count GetConsoleProcessList gives, is 1: started
// by a double-click, not from a shell's console, which counts the shell too;
// 0 when there is no console) and neither standard input nor standard output
// is redirected.
bool keeps_window_open(unsigned long console_processes, bool input_is_console,
                       bool output_is_console);

#endif  // CARDSTOW_TERMINAL_CONSOLE_RULES_WINDOWS_H_
