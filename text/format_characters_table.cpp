// The Cf, Zl and Zp characters from a table generated at build time from
// Unicode's UnicodeData.txt (format_character_ranges.inc), for the builds
// without utf8proc.
#include "text/unicode.h"

namespace {

struct code_range {
  char32_t first, last;
};

constexpr code_range format_character_ranges[] = {
#include "format_character_ranges.inc"
};

}  // namespace

bool is_format_or_separator(char32_t code) {
  for (const code_range& range : format_character_ranges) {
    if (code < range.first) return false;
    if (code <= range.last) return true;
  }
  return false;
}
