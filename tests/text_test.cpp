// UTF-8 and the Unicode properties of text/: the decoding every reader
// shares, grapheme clusters and their widths as the line editor draws them,
// and the generated table of invisible characters against utf8proc.
#include <gtest/gtest.h>

#include <string>

#include "text/unicode.h"
#include "text/utf8.h"

namespace {

TEST(Utf8, DecodesOnlyWellFormedCharacters) {
  const struct {
    std::string bytes;
    std::size_t length;  // 0: no character
    char32_t code;
  } cases[] = {
      {"a", 1, U'a'},
      {"\xC3\xA9", 2, U'\u00e9'},
      {"\xE6\xBC\xA2", 3, U'\u6f22'},
      {"\xF0\x9F\xAB\xA8", 4, U'\U0001FAE8'},
      {"\xF4\x8F\xBF\xBF", 4, U'\U0010FFFF'},
      {"", 0, 0},
      {"\x80", 0, 0},                  // a continuation byte
      {"\xC0\xAF", 0, 0},              // overlong
      {"\xE0\x80\xAF", 0, 0},          // overlong
      {"\xF0\x80\x80\xAF", 0, 0},      // overlong
      {"\xED\xA0\x80", 0, 0},          // a surrogate
      {"\xF4\x90\x80\x80", 0, 0},      // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", 0, 0},  // no 5-byte form
      {"\xC3", 0, 0},                  // cut
      {"\xE6\xBC", 0, 0},
      {"\xC3(", 0, 0},
  };
  for (const auto& c : cases) {
    char32_t code = 0;
    const std::size_t length = utf8_decode(c.bytes, code);
    EXPECT_EQ(length, c.length) << testing::PrintToString(c.bytes);
    if (c.length > 0) {
      EXPECT_EQ(code, c.code) << testing::PrintToString(c.bytes);
      std::string encoded;
      utf8_append(encoded, code);
      EXPECT_EQ(encoded, c.bytes);
    }
  }
  EXPECT_EQ(utf8_lead_length('\xF7'), 4u);
  EXPECT_EQ(utf8_lead_length('\xF8'), 0u);
  EXPECT_EQ(utf8_cut_tail("ab\xE6\xBC"), 2u);
  EXPECT_EQ(utf8_cut_tail("ab\xE6\xBC\xA2"), 0u);
}

#ifndef _WIN32

// Each cluster of the text, separated by "|", and its width.
TEST(GraphemeClusters, FollowUnicodeAndTakeTheColumnsTerminalsGive) {
  const struct {
    std::string text;  // clusters separated by "|"
    std::string widths;
  } cases[] = {
      {"a|b", "11"},
      {"e\u0301|x", "11"},      // an accent written apart
      {"\u6f22|\u5b57", "22"},  // wide
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467|a", "21"},  // ZWJ family
      {"\U0001F1EB\U0001F1F7|\U0001F1E9\U0001F1EA", "22"},     // two flags
      {"\U0001F44D\U0001F3FD|a", "21"},                        // skin tone
      {"\u2764\uFE0F|a", "21"},  // emoji presentation
      {"\U0001FAE8|a", "21"},    // Unicode 15
      {"\xFF|a", "11"},          // no UTF-8: one byte alone
      {"\r\n|a", "01"},
  };
  for (const auto& c : cases) {
    std::string text, widths;
    for (const char byte : c.text) {
      if (byte != '|') text += byte;
    }
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = cluster_end(text, at);
      EXPECT_EQ(cluster_start(text, end), at) << c.text;
      if (!shown.empty()) shown += '|';
      shown += text.substr(at, end - at);
      widths += std::to_string(cluster_width(text.substr(at, end - at)));
      at = end;
    }
    EXPECT_EQ(shown, c.text);
    EXPECT_EQ(widths, c.widths) << c.text;
  }
}

struct code_range {
  char32_t first, last;
};
constexpr code_range generated_ranges[] = {
#include "format_character_ranges.inc"
};

// The Windows build shows names with this table; here it must say what
// utf8proc says, for every code point.
TEST(FormatCharacters, GeneratedTableAgreesWithUtf8proc) {
  std::size_t range = 0;
  int disagreements = 0;
  for (char32_t code = 0; code <= 0x10FFFF; ++code) {
    while (range < std::size(generated_ranges) &&
           generated_ranges[range].last < code) {
      ++range;
    }
    const bool in_table = range < std::size(generated_ranges) &&
                          generated_ranges[range].first <= code;
    if (in_table != is_format_or_separator(code) && ++disagreements <= 5) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned long>(code)
                    << (in_table ? " is" : " is not") << " in the table";
    }
  }
  EXPECT_EQ(disagreements, 0);
  EXPECT_TRUE(is_format_or_separator(U'\u200D'));
  EXPECT_TRUE(is_format_or_separator(U'\u2029'));
  EXPECT_FALSE(is_format_or_separator(U'a'));
}

#endif

}  // namespace
