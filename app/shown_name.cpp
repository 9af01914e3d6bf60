// Escaping of the names shown in messages and in the report line.
#include "app/shown_name.h"

#include <cstddef>

#include "app/name_notation.h"
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

// The escape that shows `code` (app/name_notation.h); empty when it shows
// as itself.
std::string escape_of(char32_t code) {
  if (!is_unsafe(code) && !is_notation_character(code)) return "";
  return escape_for_character(code);
}

}  // namespace

std::string shown_name(std::string_view name) {
  std::string out;
  while (!name.empty()) {
    char32_t code = 0;
    const std::size_t length = utf8_decode(name, code);
    if (length == 0) {
      out += escape_for_byte(static_cast<unsigned char>(name[0]));
      name.remove_prefix(1);
      continue;
    }
    const std::string escape = escape_of(code);
    out += escape.empty() ? name.substr(0, length) : std::string_view(escape);
    name.remove_prefix(length);
  }
  return out;
}
