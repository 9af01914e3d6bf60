// Lines typed at the Windows console: read as UTF-16 with ReadConsoleW, the
// console's own line editing and history included, and handed on as UTF-8.
// A Ctrl-Z typed anywhere in a line ends input there.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>
#include <iterator>

#include "terminal/console_rules_windows.h"
#include "terminal/console_text_windows.h"
#include "terminal/terminal.h"

struct typed_lines {
  HANDLE input;
  DWORD mode;          // the console's input mode before, put back at the end
  bool ended = false;  // a Ctrl-Z has ended input
};

namespace {

// Whole lines, edited and echoed by the console; Ctrl-C interrupts.
constexpr DWORD line_mode =
    ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT;

// Appends to `wide` what is typed up to and including the next line feed,
// however many reads a long line takes.
bool read_console_line(HANDLE input, std::wstring& wide, int& error) {
  wchar_t chunk[4096];
  while (wide.empty() || wide.back() != L'\n') {
    DWORD got = 0;
    if (!ReadConsoleW(input, chunk, static_cast<DWORD>(std::size(chunk)), &got,
                      nullptr)) {
      error = errno_of_windows_error(GetLastError(), EIO);
      return false;
    }
    if (got == 0) {
      // Ctrl-C or Ctrl-Break: the console's handler ends the process from
      // another thread. Meanwhile this must not pass for the end of input,
      // which would go on to write the record.
      Sleep(10);
      continue;
    }
    wide.append(chunk, got);
  }
  return true;
}

}  // namespace

// Standard input is a console: its lines come as UTF-16 whatever the code
// page, where reading its bytes would give them in the console's code page.
typed_lines* open_typed_lines() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return nullptr;
  SetConsoleMode(input, mode | line_mode);
  return new typed_lines{input, mode};
}

bool read_typed_line(typed_lines& typed, std::string_view prompt,
                     const typed_answer&, std::string& line, int& error) {
  // The prompt goes where console output goes. One that cannot be written is
  // lost as any other output would be; the next write of console output
  // fails too and reports it.
  int prompt_error = 0;
  write_standard_output(prompt, prompt_error);
  std::wstring wide;
  if (typed.ended || !read_console_line(typed.input, wide, error)) {
    return false;
  }
  const std::size_t start = line.size();
  typed.ended = !typed_line_of(wide, line);
  return line.size() > start;
}

void close_typed_lines(typed_lines* typed) {
  if (typed == nullptr) return;
  SetConsoleMode(typed->input, typed->mode);
  delete typed;
}
