// Escaping of the names shown in messages and in the report line.
#include "app/shown_name.h"

#include <cstddef>
#include <cstdio>

#include "text/unicode.h"
#include "text/utf8.h"

namespace {

// Characters that would move the cursor, drive the terminal, hide
// themselves or reorder the text around them: C0 and C1 controls, DEL and
// the invisible characters.
bool is_unsafe(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F) ||
         is_format_or_separator(code);
}

// `value` written in hexadecimal after `format`'s backslash.
std::string hex_escape(const char* format, unsigned long value) {
  char escape[16];
  std::snprintf(escape, sizeof escape, format, value);
  return escape;
}

// The escape that shows `code`; empty when it shows as itself.
std::string escape_of(char32_t code) {
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
  if (!is_unsafe(code)) return "";
  const char* format = code < 0x80      ? "\\x%02lx"
                       : code < 0x10000 ? "\\u%04lx"
                                        : "\\U%08lx";
  return hex_escape(format, code);
}

}  // namespace

std::string shown_name(std::string_view name) {
  std::string out;
  while (!name.empty()) {
    char32_t code = 0;
    const std::size_t length = utf8_decode(name, code);
    if (length == 0) {
      out += hex_escape("\\x%02lx", static_cast<unsigned char>(name[0]));
      name.remove_prefix(1);
      continue;
    }
    const std::string escape = escape_of(code);
    out += escape.empty() ? name.substr(0, length) : std::string_view(escape);
    name.remove_prefix(length);
  }
  return out;
}
