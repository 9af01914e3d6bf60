// Unicode properties the program needs: which characters are invisible
// (for showing names safely) and, where a line editor runs, grapheme
// clusters (UAX #29), their widths and the characters a line takes. The
// properties are those of Unicode 15.0.
#ifndef CARDSTOW_TEXT_UNICODE_H_
#define CARDSTOW_TEXT_UNICODE_H_

#include <cstddef>
#include <string_view>

// Whether `code` is of general category Cf (format), Zl (line separator) or
// Zp (paragraph separator): invisible, or breaking or reordering the text
// around it. Available on every platform.
bool is_format_or_separator(char32_t code);

// The rest is for the POSIX line editor (built with utf8proc).

// Where the grapheme cluster that starts at `at` (< text.size()) in the
// UTF-8 `text` ends. A byte that is no UTF-8 is a cluster of its own.
std::size_t cluster_end(std::string_view text, std::size_t at);

// Where the grapheme cluster that ends at `at` (> 0) starts.
std::size_t cluster_start(std::string_view text, std::size_t at);

// The columns a terminal gives the grapheme cluster `cluster`: the East Asian
// width of its first character (0, 1 or 2; 1 for one Unicode leaves
// unassigned) and 2 for an emoji sequence: a cluster holding a zero-width
// joiner, the emoji presentation selector U+FE0F or a skin-tone modifier,
// and a pair of regional indicators (a flag).
int cluster_width(std::string_view cluster);

// Whether the line editor takes `code` into a line: not a control character
// (Cc), a surrogate, an unassigned code point, nor U+2028 or U+2029.
bool is_taken_into_line(char32_t code);

// Whether `code` is a letter or a digit: what words are made of for the
// editor's word commands.
bool is_word_character(char32_t code);

#endif  // CARDSTOW_TEXT_UNICODE_H_
