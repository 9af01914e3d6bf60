// Fuzz target for the names shown in messages (app/shown_name.h): the input
// is a file name. Built twice, once with each platform's notation
// (CARDSTOW_WINDOWS_NOTATION for Windows'). Checks that the shown name is
// well-formed UTF-8 with no control character (C0, DEL, C1) and none of the
// invisible characters that reorder or hide text, and that reading its
// escapes back gives the name, byte for byte.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/shown_name.h"
#include "fuzz/reading_model.h"
#include "fuzz/utf8_check.h"

namespace {

using fuzz_model::require;

// The value of the hexadecimal digits `digits` (1 to 8 of them).
std::optional<char32_t> hex_value(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  char32_t value = 0;
  for (const char c : digits) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<char32_t>(digit);
  }
  return value;
}

#if defined(CARDSTOW_WINDOWS_NOTATION)
// The name `shown` reads back to in the Windows notation: <HH> a byte (an
// ASCII character, or a byte that is no UTF-8), <U+H...> a character; a < or
// > outside an escape is no notation. nullopt when it cannot be read back.
std::optional<std::string> read_back(std::string_view shown) {
  std::string name;
  while (!shown.empty()) {
    if (shown[0] == '>') return std::nullopt;
    if (shown[0] != '<') {
      name += shown[0];
      shown.remove_prefix(1);
      continue;
    }
    const std::size_t end = shown.find('>');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view inside = shown.substr(1, end - 1);
    const bool character = inside.starts_with("U+");
    if (character) inside.remove_prefix(2);
    const std::optional<char32_t> value = hex_value(inside);
    if (!value || (!character && inside.size() != 2)) return std::nullopt;
    name += character ? fuzz_check::utf8_of(*value)
                      : std::string(1, static_cast<char>(*value));
    shown.remove_prefix(end + 1);
  }
  return name;
}
#else
// The name `shown` reads back to in C's notation: \\ \t \n \r, \xHH a byte,
// \uHHHH and \UHHHHHHHH a character. nullopt when it cannot be read back.
std::optional<std::string> read_back(std::string_view shown) {
  std::string name;
  while (!shown.empty()) {
    if (shown[0] != '\\') {
      name += shown[0];
      shown.remove_prefix(1);
      continue;
    }
    if (shown.size() < 2) return std::nullopt;
    const char kind = shown[1];
    const std::size_t digits = kind == 'x'   ? 2
                               : kind == 'u' ? 4
                               : kind == 'U' ? 8
                                             : 0;
    if (digits == 0) {
      const std::string_view simple = kind == '\\'  ? "\\"
                                      : kind == 't' ? "\t"
                                      : kind == 'n' ? "\n"
                                      : kind == 'r' ? "\r"
                                                    : "";
      if (simple.empty()) return std::nullopt;
      name += simple;
      shown.remove_prefix(2);
      continue;
    }
    const std::optional<char32_t> value = hex_value(shown.substr(2, digits));
    if (!value || shown.size() < 2 + digits) return std::nullopt;
    name += kind == 'x' ? std::string(1, static_cast<char>(*value))
                        : fuzz_check::utf8_of(*value);
    shown.remove_prefix(2 + digits);
  }
  return name;
}
#endif

// Whether `code` may not show as itself: a control character, or one of the
// invisible characters that hide or reorder the text around them.
bool is_hidden(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0xAD ||
         (code >= 0x200B && code <= 0x200F) ||
         (code >= 0x2028 && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069) || code == 0xFEFF ||
         code == 0xE0001 || (code >= 0xE0020 && code <= 0xE007F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const std::string shown = shown_name(name);
  require(fuzz_check::is_utf8(shown), "a shown name is no UTF-8");
  for (const char32_t code : fuzz_check::code_points(shown)) {
    require(!is_hidden(code),
            "a shown name holds a control or hidden character");
  }
  const std::optional<std::string> back = read_back(shown);
  require(back.has_value(), "a shown name cannot be read back");
  require(*back == name, "a shown name reads back to another name");
  return 0;
}
