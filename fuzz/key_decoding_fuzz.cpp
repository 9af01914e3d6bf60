// Fuzz target for the decoding of the bytes a terminal sends
// (terminal/key_decoding.h): the input is the bytes typed. Checks that no
// input makes a key out of nothing: the keys decode_key_byte gives, one
// after the other, are a subsequence of the bytes typed, and each key
// sequence starts with ESC; and that without_escape_sequences gives the same
// text whether the bytes come whole or a byte at a time, a subsequence of
// them with no ESC left in it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/reading_model.h"
#include "terminal/key_decoding.h"

namespace {

using fuzz_model::require;

// Whether `part` is `whole` with some bytes left out.
bool is_subsequence(std::string_view part, std::string_view whole) {
  std::size_t at = 0;
  for (const char c : whole) {
    if (at < part.size() && part[at] == c) ++at;
  }
  return at == part.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view typed(reinterpret_cast<const char*>(data), size);

  key_decoder keys;
  std::string key, all_keys;
  for (const char byte : typed) {
    key = "unchanged";
    const key_kind kind = decode_key_byte(keys, byte, key);
    if (kind == key_kind::text || kind == key_kind::sequence) {
      require(!key.empty(), "an empty key");
      require(kind == key_kind::text || key[0] == '\x1b',
              "a key sequence that does not start with ESC");
      all_keys += key;
    }
  }
  require(is_subsequence(all_keys, typed), "a key made out of nothing");

  key_decoder whole_decoder, bytewise_decoder;
  const std::string whole = without_escape_sequences(whole_decoder, typed);
  std::string bytewise;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    bytewise += without_escape_sequences(bytewise_decoder, typed.substr(i, 1));
  }
  require(bytewise == whole, "a byte at a time differs from whole");
  require(is_subsequence(whole, typed), "text made out of nothing");
  require(whole.find('\x1b') == std::string::npos, "an ESC left in the text");
  return 0;
}
