// UTF-8 for the whole program: decoding and encoding one character, and
// where a cut falls between whole characters. Pure functions over bytes.
#ifndef CARDSTOW_TEXT_UTF8_H_
#define CARDSTOW_TEXT_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

// The length of the well-formed UTF-8 character that starts `text` (1 to 4),
// with its code point in `code`; 0 when none starts there: an empty text, a
// continuation byte, a byte that never starts one (C0, C1, F5 to FF), an
// overlong form, a surrogate, anything past U+10FFFF or a character cut by
// the end of `text`. `code` is unspecified then.
std::size_t utf8_decode(std::string_view text, char32_t& code);

// How many bytes the lead byte `byte` announces: 1 for ASCII, 2, 3 or 4 for
// the leads C0 to F7; 0 for a continuation byte and for F8 to FF, which
// start no character.
std::size_t utf8_lead_length(char byte);

// Appends the UTF-8 of `code` (at most U+10FFFF) to `text`.
void utf8_append(std::string& text, char32_t code);

// Whether all of `text` is well-formed UTF-8.
bool is_valid_utf8(std::string_view text);

// How many bytes at the end of `text` start a character that needs more
// bytes than are there (0 to 3): what a piece of output cut by a write
// leaves for the next one.
std::size_t utf8_cut_tail(std::string_view text);

#endif  // CARDSTOW_TEXT_UTF8_H_
