// The console on Windows: standard input read as it is stored (its line ends
// are the answer rules' business, a Ctrl-Z ends input); standard output and
// error written as UTF-16 text when they are a console, so that UTF-8 shows
// right whatever the console's code page, and through the C runtime's text mode
// (LF written as CR LF) when they are not.
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <streambuf>
#include <string_view>

#include "terminal/console_rules_windows.h"
#include "terminal/console_text_windows.h"
#include "terminal/terminal.h"

namespace {

// A console the program writes to, and the start of a character that the
// last write cut.
struct console_sink {
  HANDLE handle = nullptr;  // null when not a console
  std::string held;
};

console_sink output_console;
console_sink error_console;

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

bool write_console(console_sink& sink, std::string_view bytes) {
  const std::wstring text = console_text_of(sink.held, bytes);
  std::wstring_view rest(text);
  while (!rest.empty()) {
    DWORD put = 0;
    if (!WriteConsoleW(sink.handle, rest.data(),
                       static_cast<DWORD>(rest.size()), &put, nullptr) ||
        put == 0) {
      return false;
    }
    rest.remove_prefix(put);
  }
  return true;
}

// std::cerr's buffer when standard error is a console: everything written is
// shown at once, as console text.
class console_error_buffer final : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    const char byte = traits_type::to_char_type(c);
    return write_console(error_console, std::string_view(&byte, 1))
               ? c
               : traits_type::eof();
  }
  std::streamsize xsputn(const char* bytes, std::streamsize size) override {
    const std::string_view text(bytes, static_cast<std::size_t>(size));
    return write_console(error_console, text) ? size : 0;
  }
};

unsigned int at_most_int(std::size_t size) {
  return static_cast<unsigned int>(size < INT_MAX ? size : INT_MAX);
}

// The errno of the C runtime's read or write that failed last.
int runtime_error() { return errno_of_windows_error(_doserrno, errno); }

// Discards what was typed ahead at the console `input`, then waits for Enter
// (or for the console to go away). Key events are read as they come, so that
// no line typed earlier, and no rest of one that the console holds for the
// next line read, can end the wait.
void wait_for_enter(HANDLE input) {
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD got = 0;
  while (ReadConsoleInputW(input, &record, 1, &got)) {
    if (got == 1 && record.EventType == KEY_EVENT &&
        record.Event.KeyEvent.bKeyDown &&
        record.Event.KeyEvent.wVirtualKeyCode == VK_RETURN) {
      return;
    }
  }
}

}  // namespace

void open_console() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (is_console(output)) output_console.handle = output;
  if (is_console(error)) {
    error_console.handle = error;
    // Never destroyed: std::cerr may be flushed while the program exits.
    std::cerr.rdbuf(new console_error_buffer);
  }
}

std::size_t read_standard_input(char* buffer, std::size_t size, int& error) {
  // Text mode would mangle UTF-16 answers: a 0x1A or 0D 0A inside a code unit.
  [[maybe_unused]] static const int mode = _setmode(0, _O_BINARY);
  const int got = _read(0, buffer, at_most_int(size));
  if (got >= 0) return static_cast<std::size_t>(got);
  error = runtime_error();
  return 0;
}

bool standard_input_hung_up() { return false; }

std::size_t standard_input_end(std::string_view text) {
  const std::size_t ctrl_z = text.find('\x1a');
  return ctrl_z == std::string_view::npos ? text.size() : ctrl_z;
}

bool write_standard_output(std::string_view bytes, int& error) {
  if (output_console.handle != nullptr) {
    if (write_console(output_console, bytes)) return true;
    error = errno_of_windows_error(GetLastError(), EIO);
    return false;
  }
  _doserrno = 0;
  while (!bytes.empty()) {
    const int put = _write(1, bytes.data(), at_most_int(bytes.size()));
    if (put <= 0) {
      error = put < 0 ? runtime_error() : EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// A window that closes with the program would take its last lines with it.
void close_console() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD processes[2];
  DWORD mode = 0;
  if (!keeps_window_open(GetConsoleProcessList(processes, 2),
                         GetConsoleMode(input, &mode) != 0,
                         output_console.handle != nullptr)) {
    return;
  }
  int error = 0;
  write_standard_output("\nPress Enter to close this window.", error);
  // Keys, not lines: Ctrl-C still ends the program, nothing is echoed.
  SetConsoleMode(input, ENABLE_PROCESSED_INPUT);
  wait_for_enter(input);
  SetConsoleMode(input, mode);
}

bool standard_output_is_terminal() {
  return is_console(GetStdHandle(STD_OUTPUT_HANDLE));
}
