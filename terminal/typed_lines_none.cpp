// No line editor: lines typed at a terminal are read as the bytes the
// terminal's own line mode gives, like any other console input.
#include "terminal/terminal.h"

struct typed_lines {};

typed_lines* open_typed_lines() { return nullptr; }

bool read_typed_line(typed_lines&, std::string_view, std::string&, int&) {
  return false;
}

void close_typed_lines(typed_lines*) {}
