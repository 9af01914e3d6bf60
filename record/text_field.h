// The fixed-size text field every text answer is stored in: what the answer
// readers fill and the record file writes.
#ifndef CARDSTOW_RECORD_TEXT_FIELD_H_
#define CARDSTOW_RECORD_TEXT_FIELD_H_

#include <array>
#include <cstddef>
#include <string_view>

// Capacity of every text field, terminator included: a text answer keeps at
// most answer_capacity - 1 = 29 bytes.
inline constexpr std::size_t answer_capacity = 30;

// A NUL-terminated text of at most 29 bytes, stored as typed. A
// value-initialised field ({}) is empty.
using text_field = std::array<char, answer_capacity>;

// The text held in `field`, up to its terminator.
inline std::string_view text_of(const text_field& field) {
  return std::string_view(field.data());
}

#endif  // CARDSTOW_RECORD_TEXT_FIELD_H_
