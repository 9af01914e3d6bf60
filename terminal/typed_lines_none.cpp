// No line editor: lines typed at a terminal are the terminal's own lines,
// without the escape sequences keys send (POSIX).
#include <unistd.h>

#include "terminal/plain_lines_posix.h"
#include "terminal/terminal.h"

struct typed_lines {
  plain_lines plain;
};

typed_lines* open_typed_lines() {
  return isatty(0) ? new typed_lines : nullptr;
}

bool read_typed_line(typed_lines& typed, std::string_view prompt,
                     const typed_answer&, std::string& line, int& error) {
  return read_plain_line(typed.plain, prompt, line, error);
}

void close_typed_lines(typed_lines* typed) { delete typed; }
