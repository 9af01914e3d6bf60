// The escapes of a shown name on POSIX systems: C's notation, lower-case
// hexadecimal (\x1b, \u200b, \U000e0041), a backslash as \\.
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

bool is_notation_character(char32_t code) { return code == '\\'; }

std::string escape_for_character(char32_t code) {
  switch (code) {
    case '\\':
      return "\\\\";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
  }
  // A byte that is no UTF-8 is \x80 or more, a character from U+0080 \u.
  const char* format = code < 0x80      ? "\\x%02lx"
                       : code < 0x10000 ? "\\u%04lx"
                                        : "\\U%08lx";
  return hex_escape(format, code);
}

std::string escape_for_byte(unsigned char byte) {
  return hex_escape("\\x%02lx", byte);
}
