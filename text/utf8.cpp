// UTF-8 decoding and encoding, after RFC 3629's table of well-formed bytes.
#include "text/utf8.h"

namespace {

// The range the second byte of a character takes after `lead`.
void second_byte_range(unsigned lead, unsigned& low, unsigned& high) {
  low = 0x80;
  high = 0xBF;
  if (lead == 0xE0) low = 0xA0;   // no overlong form
  if (lead == 0xED) high = 0x9F;  // no surrogate
  if (lead == 0xF0) low = 0x90;   // no overlong form
  if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
}

}  // namespace

std::size_t utf8_lead_length(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  if (b < 0x80) return 1;
  if (b < 0xC0) return 0;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  if (b < 0xF8) return 4;
  return 0;
}

std::size_t utf8_decode(std::string_view text, char32_t& code) {
  if (text.empty()) return 0;
  const unsigned lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = utf8_lead_length(text[0]);
  if (length == 0 || (length > 1 && (lead < 0xC2 || lead > 0xF4))) return 0;
  if (length > text.size()) return 0;
  unsigned low = 0, high = 0;
  second_byte_range(lead, low, high);
  code = lead & (length == 1 ? 0x7Fu : 0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
    const unsigned byte = static_cast<unsigned char>(text[i]);
    if (byte < low || byte > high) return 0;
    code = (code << 6) | (byte & 0x3Fu);
  }
  return length;
}

void utf8_append(std::string& text, char32_t code) {
  const auto byte = [&](char32_t bits) { text += static_cast<char>(bits); };
  if (code < 0x80) {
    byte(code);
  } else if (code < 0x800) {
    byte(0xC0 | code >> 6);
    byte(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    byte(0xE0 | code >> 12);
    byte(0x80 | (code >> 6 & 0x3F));
    byte(0x80 | (code & 0x3F));
  } else {
    byte(0xF0 | code >> 18);
    byte(0x80 | (code >> 12 & 0x3F));
    byte(0x80 | (code >> 6 & 0x3F));
    byte(0x80 | (code & 0x3F));
  }
}

bool is_valid_utf8(std::string_view text) {
  char32_t code = 0;
  while (!text.empty()) {
    const std::size_t length = utf8_decode(text, code);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::size_t utf8_cut_tail(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const std::size_t length = utf8_lead_length(text[text.size() - back]);
    if (length == 0 &&
        (static_cast<unsigned char>(text[text.size() - back]) & 0xC0) == 0x80) {
      continue;  // a continuation byte
    }
    return length > back ? back : 0;
  }
  return 0;
}
