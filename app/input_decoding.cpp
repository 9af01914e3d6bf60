// Byte-order marks and UTF-16 answers files, decoded to UTF-8 as the blocks
// of standard input arrive.
#include "app/input_decoding.h"

#include <string_view>
#include <utility>

#include "text/utf8.h"

namespace {

struct byte_order_mark {
  std::string_view bytes;
  input_encoding encoding;
};

constexpr byte_order_mark marks[] = {
    {"\xEF\xBB\xBF", input_encoding::utf8},
    {"\xFF\xFE", input_encoding::utf16_le},
    {"\xFE\xFF", input_encoding::utf16_be},
};

constexpr char32_t replacement = 0xFFFD;

bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Sets the encoding that `start`, the first bytes of the input, shows and
// removes its mark. Returns false, deciding nothing, while `start` is all
// of it the beginning of a mark.
bool decide(input_decoder& decoder, std::string& start) {
  for (const byte_order_mark& mark : marks) {
    if (std::string_view(start).starts_with(mark.bytes)) {
      decoder.encoding = mark.encoding;
      start.erase(0, mark.bytes.size());
      return true;
    }
  }
  for (const byte_order_mark& mark : marks) {
    if (mark.bytes.starts_with(start)) return false;
  }
  decoder.encoding = input_encoding::utf8;
  return true;
}

void take_unit(input_decoder& decoder, char16_t unit, std::string& text) {
  if (decoder.high != 0) {
    const char16_t high = std::exchange(decoder.high, char16_t{0});
    if (is_low_surrogate(unit)) {
      utf8_append(text, 0x10000 + ((char32_t{high} - 0xD800) << 10) +
                            (char32_t{unit} - 0xDC00));
      return;
    }
    utf8_append(text, replacement);
  }
  if (is_high_surrogate(unit)) {
    decoder.high = unit;
    return;
  }
  utf8_append(text, is_low_surrogate(unit) ? replacement : unit);
}

char16_t unit_of(const input_decoder& decoder, char first, char second) {
  const auto a = static_cast<unsigned char>(first);
  const auto b = static_cast<unsigned char>(second);
  return static_cast<char16_t>(
      decoder.encoding == input_encoding::utf16_le ? b << 8 | a : a << 8 | b);
}

// Appends the UTF-16 `bytes`, after a byte held from the block before.
void decode_utf16(input_decoder& decoder, std::string_view bytes,
                  std::string& text) {
  std::size_t at = 0;
  if (!decoder.held.empty() && !bytes.empty()) {
    take_unit(decoder, unit_of(decoder, decoder.held[0], bytes[0]), text);
    decoder.held.clear();
    at = 1;
  }
  for (; at + 1 < bytes.size(); at += 2) {
    take_unit(decoder, unit_of(decoder, bytes[at], bytes[at + 1]), text);
  }
  if (at < bytes.size()) decoder.held.assign(1, bytes[at]);
}

std::span<char> all_of(std::string& text) { return {text.data(), text.size()}; }

}  // namespace

std::span<char> decode_input(input_decoder& decoder, std::span<char> bytes,
                             std::string& text) {
  if (decoder.encoding == input_encoding::utf8) return bytes;
  text.clear();
  if (decoder.encoding == input_encoding::undecided) {
    decoder.held.append(bytes.data(), bytes.size());
    if (!decide(decoder, decoder.held)) return {};
    std::string start = std::exchange(decoder.held, std::string());
    if (decoder.encoding == input_encoding::utf8) {
      text = std::move(start);
      return all_of(text);
    }
    decode_utf16(decoder, start, text);
    return all_of(text);
  }
  decode_utf16(decoder, std::string_view(bytes.data(), bytes.size()), text);
  return all_of(text);
}

std::span<char> finish_input(input_decoder& decoder, std::string& text) {
  text.clear();
  if (decoder.encoding == input_encoding::undecided) {
    text = std::exchange(decoder.held, std::string());
    decoder.encoding = input_encoding::utf8;
  } else if (decoder.encoding != input_encoding::utf8) {
    if (std::exchange(decoder.high, char16_t{0}) != 0) {
      utf8_append(text, replacement);
    }
    if (!decoder.held.empty()) utf8_append(text, replacement);
    decoder.held.clear();
  }
  return all_of(text);
}
