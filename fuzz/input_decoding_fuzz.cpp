// Fuzz target for the decoding of standard input (byte-order marks, UTF-16
// answers files): the input is standard input, decoded whole, a byte at a
// time and in blocks of changing sizes. Checks that all three give the same
// text; that input without a mark passes unchanged and a UTF-8 mark is only
// dropped; and that UTF-16 gives well-formed UTF-8 whose ASCII characters,
// control characters included, are exactly the input's ASCII code units, in
// order: no control byte comes from anything else.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/input_decoding.h"
#include "fuzz/reading_model.h"
#include "fuzz/utf8_check.h"

namespace {

using fuzz_model::require;

// The text of `input` decoded in blocks of the sizes `block_size` gives for
// the 0th, 1st, ... block (each at least 1).
template <typename Sizes>
std::string decoded(std::string_view input, Sizes block_size) {
  input_decoder decoder;
  std::string text, out;
  std::size_t at = 0;
  for (std::size_t block = 0; at < input.size(); ++block) {
    std::string bytes(input.substr(at, block_size(block)));
    at += bytes.size();
    const std::span<char> got =
        decode_input(decoder, {bytes.data(), bytes.size()}, text);
    out.append(got.data(), got.size());
  }
  const std::span<char> rest = finish_input(decoder, text);
  out.append(rest.data(), rest.size());
  return out;
}

// The ASCII characters of `text`, in order.
std::string ascii_of(std::string_view text) {
  std::string ascii;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) ascii += c;
  }
  return ascii;
}

// The UTF-16 code units below 0x80 of `units` (after the mark), as bytes.
std::string ascii_units(std::string_view units, bool little_endian) {
  std::string ascii;
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    const auto first = static_cast<unsigned char>(units[i]);
    const auto second = static_cast<unsigned char>(units[i + 1]);
    const unsigned unit =
        little_endian ? (second * 256u + first) : (first * 256u + second);
    if (unit < 0x80) ascii += static_cast<char>(unit);
  }
  return ascii;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string whole =
      decoded(input, [&](std::size_t) { return input.size(); });
  const std::string bytewise =
      decoded(input, [](std::size_t) { return std::size_t{1}; });
  const std::string blocks = decoded(
      input, [&](std::size_t block) { return 1 + (block * 7 + size) % 5; });
  require(bytewise == whole, "a byte at a time differs from whole");
  require(blocks == whole, "in blocks differs from whole");

  if (input.starts_with("\xEF\xBB\xBF")) {
    require(whole == input.substr(3), "a UTF-8 mark changed more than itself");
  } else if (input.starts_with("\xFF\xFE") || input.starts_with("\xFE\xFF")) {
    require(fuzz_check::is_utf8(whole), "UTF-16 gave text that is no UTF-8");
    require(ascii_of(whole) == ascii_units(input.substr(2), input[0] == '\xFF'),
            "UTF-16 gave ASCII that is not its ASCII code units");
  } else {
    require(whole == input, "input without a mark changed");
  }
  return 0;
}
