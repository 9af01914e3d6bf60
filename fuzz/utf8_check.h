// Checks the fuzz targets apply to text they are given back: whether it is
// well-formed UTF-8, written here on its own so that no code under test
// checks itself.
#ifndef CARDSTOW_FUZZ_UTF8_CHECK_H_
#define CARDSTOW_FUZZ_UTF8_CHECK_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz_check {

// Whether `text` is well-formed UTF-8 (RFC 3629: no overlong form, no
// surrogate, nothing past U+10FFFF, no character cut short).
inline bool is_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    unsigned low = 0x80, high = 0xBF;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k, low = 0x80, high = 0xBF) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (next < low || next > high) return false;
    }
    i += length;
  }
  return true;
}

// The characters of `text`, which is_utf8 accepts.
inline std::vector<char32_t> code_points(std::string_view text) {
  std::vector<char32_t> codes;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                                             : 4;
    char32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    }
    codes.push_back(code);
    i += length;
  }
  return codes;
}

// `code` in UTF-8 (any value up to 0x1FFFFF, surrogates too).
inline std::string utf8_of(char32_t code) {
  std::string text;
  const auto put = [&](char32_t bits) { text += static_cast<char>(bits); };
  if (code < 0x80) {
    put(code);
  } else if (code < 0x800) {
    put(0xC0 | code >> 6);
    put(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    put(0xE0 | code >> 12);
    put(0x80 | (code >> 6 & 0x3F));
    put(0x80 | (code & 0x3F));
  } else {
    put(0xF0 | code >> 18);
    put(0x80 | (code >> 12 & 0x3F));
    put(0x80 | (code >> 6 & 0x3F));
    put(0x80 | (code & 0x3F));
  }
  return text;
}

}  // namespace fuzz_check

#endif  // CARDSTOW_FUZZ_UTF8_CHECK_H_
