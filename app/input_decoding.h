// Standard input as the answer rules read it, UTF-8 text, whichever way an
// answers file was saved: a UTF-8 byte-order mark at its very start is
// dropped, and UTF-16 text after the mark FF FE (little endian) or FE FF (big
// endian) is converted to UTF-8. Input without a mark passes unchanged.
#ifndef CARDSTOW_APP_INPUT_DECODING_H_
#define CARDSTOW_APP_INPUT_DECODING_H_

#include <span>
#include <string>

// How standard input is decoded, as its first bytes say.
enum class input_encoding { undecided, utf8, utf16_le, utf16_be };

// The decoding of one input, block after block.
struct input_decoder {
  input_encoding encoding = input_encoding::undecided;
  // Bytes not decoded yet: the start of the input while it could still be a
  // mark, or the first byte of a UTF-16 code unit that a block's end cut.
  std::string held;
  char16_t high = 0;  // a high surrogate waiting for its low half; 0 if none
};

// Decodes the next block of input, `bytes`. Returns the text it gives: a
// part of `bytes` itself when the input is UTF-8 and nothing was held,
// otherwise a part of `text`, which it overwrites. What a block's end cuts
// (the start of a mark, half a code unit, a high surrogate) is held for the
// next block. A UTF-16 surrogate without its other half gives U+FFFD.
std::span<char> decode_input(input_decoder& decoder, std::span<char> bytes,
                             std::string& text);

// At the end of input, the text of what is still held: the start of a mark
// that was never completed as those bytes themselves, an odd last byte or a
// high surrogate of UTF-16 input as U+FFFD. Overwrites `text`; leaves
// nothing held.
std::span<char> finish_input(input_decoder& decoder, std::string& text);

#endif  // CARDSTOW_APP_INPUT_DECODING_H_
