// Unicode properties from utf8proc (Unicode 15.0 in utf8proc 2.8).
#include <utf8proc.h>

#include "text/unicode.h"
#include "text/utf8.h"

namespace {

// The code point at `at`, and its length; a byte that is no UTF-8 has length
// 1 and no code point (-1).
std::size_t code_at(std::string_view text, std::size_t at,
                    utf8proc_int32_t& code) {
  char32_t decoded = 0;
  const std::size_t length = utf8_decode(text.substr(at), decoded);
  code = length == 0 ? -1 : static_cast<utf8proc_int32_t>(decoded);
  return length == 0 ? 1 : length;
}

bool is_regional_indicator(utf8proc_int32_t code) {
  return code >= 0x1F1E6 && code <= 0x1F1FF;
}

bool makes_emoji_sequence(utf8proc_int32_t code) {
  return code == 0x200D || code == 0xFE0F ||
         (code >= 0x1F3FB && code <= 0x1F3FF);
}

}  // namespace

bool is_format_or_separator(char32_t code) {
  const utf8proc_category_t category =
      utf8proc_category(static_cast<utf8proc_int32_t>(code));
  return category == UTF8PROC_CATEGORY_CF || category == UTF8PROC_CATEGORY_ZL ||
         category == UTF8PROC_CATEGORY_ZP;
}

std::size_t cluster_end(std::string_view text, std::size_t at) {
  utf8proc_int32_t previous = -1, next = -1;
  std::size_t end = at + code_at(text, at, previous);
  if (previous < 0) return end;
  utf8proc_int32_t state = 0;
  while (end < text.size()) {
    const std::size_t length = code_at(text, end, next);
    if (next < 0 || utf8proc_grapheme_break_stateful(previous, next, &state)) {
      break;
    }
    previous = next;
    end += length;
  }
  return end;
}

std::size_t cluster_start(std::string_view text, std::size_t at) {
  // Clusters are found from the line's start: the rules look back as far as
  // a run of regional indicators goes.
  std::size_t start = 0;
  for (std::size_t end = 0; end < at; end = cluster_end(text, end)) start = end;
  return start;
}

int cluster_width(std::string_view cluster) {
  utf8proc_int32_t first = -1, code = -1;
  std::size_t at = code_at(cluster, 0, first);
  if (first < 0) return 1;
  if (utf8proc_category(first) == UTF8PROC_CATEGORY_CN) return 1;
  if (is_regional_indicator(first) && at < cluster.size()) return 2;
  while (at < cluster.size()) {
    at += code_at(cluster, at, code);
    if (makes_emoji_sequence(code)) return 2;
  }
  return utf8proc_charwidth(first);
}

bool is_taken_into_line(char32_t code) {
  const utf8proc_category_t category =
      utf8proc_category(static_cast<utf8proc_int32_t>(code));
  return category != UTF8PROC_CATEGORY_CC && category != UTF8PROC_CATEGORY_CS &&
         category != UTF8PROC_CATEGORY_CN && category != UTF8PROC_CATEGORY_ZL &&
         category != UTF8PROC_CATEGORY_ZP;
}

bool is_word_character(char32_t code) {
  const utf8proc_category_t category =
      utf8proc_category(static_cast<utf8proc_int32_t>(code));
  return (category >= UTF8PROC_CATEGORY_LU &&
          category <= UTF8PROC_CATEGORY_LO) ||
         (category >= UTF8PROC_CATEGORY_ND && category <= UTF8PROC_CATEGORY_NO);
}
