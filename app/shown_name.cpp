// Escaping of the names shown in messages and in the report line.
#include "app/shown_name.h"

#include <cstddef>

#include "app/name_notation.h"

namespace {

// Length of the well-formed UTF-8 character that starts `text`, with its
// code point in `code`; 0 when no well-formed character starts there.
std::size_t utf8_character(std::string_view text, char32_t& code) {
  const auto byte = [&](std::size_t i) -> unsigned {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned lead = byte(0);
  unsigned low = 0x80;
  unsigned high = 0xBF;
  std::size_t length = 0;
  if (lead < 0x80) {
    length = 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : low;    // no overlong form
    high = lead == 0xED ? 0x9F : high;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : low;    // no overlong form
    high = lead == 0xF4 ? 0x8F : high;  // nothing past U+10FFFF
  }
  code = lead & (length == 1 ? 0x7Fu : 0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
    if (byte(i) < low || byte(i) > high) return 0;
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  return length;
}

struct code_range {
  char32_t first, last;
};

// The characters of Unicode 14.0 whose general category is Cf (format), Zl
// (line separator) or Zp (paragraph separator): invisible, or breaking or
// reordering the text around them. In ascending order.
constexpr code_range invisible_characters[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
    {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},
    {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},
    {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x13438}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

bool is_invisible(char32_t code) {
  for (const code_range& range : invisible_characters) {
    if (code < range.first) return false;
    if (code <= range.last) return true;
  }
  return false;
}

// Characters that would move the cursor, drive the terminal, hide
// themselves or reorder the text around them: C0 and C1 controls, DEL and
// the invisible characters.
bool is_unsafe(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F) || is_invisible(code);
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
    const std::size_t length = utf8_character(name, code);
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
