// Fuzz target for the decoding of the bytes a terminal sends
// (terminal/key_decoding.h): the input is the bytes typed. Checks that no
// input makes a key out of nothing: the keys decode_key_byte gives, one
// after the other, are a subsequence of the bytes typed, each key sequence
// starts with ESC, and no text key is an ESC.
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
      require(kind == key_kind::sequence || key.find('\x1b') == key.npos,
              "an ESC given as text");
      all_keys += key;
    }
  }
  require(is_subsequence(all_keys, typed), "a key made out of nothing");

  return 0;
}
