// The escapes of a shown name on Windows: the backslash shows as typed, and
// an escape is upper-case hexadecimal between < and >, which Windows refuses
// in names: <1B> for a character below U+0080 or a byte that is no UTF-8
// (0x80 or more), <U+200B> for any other character; < and > themselves are
// <3C> and <3E>.
#include <cstdio>

#include "app/name_notation.h"

namespace {

// `value` in hexadecimal as `format` writes it.
std::string hex_escape(const char* format, unsigned long value) {
  char escape[16];
  std::snprintf(escape, sizeof escape, format, value);
  return escape;
}

}  // namespace

bool is_notation_character(char32_t code) { return code == '<' || code == '>'; }

std::string escape_for_character(char32_t code) {
  return hex_escape(code < 0x80 ? "<%02lX>" : "<U+%04lX>", code);
}

std::string escape_for_byte(unsigned char byte) {
  return hex_escape("<%02lX>", byte);
}
