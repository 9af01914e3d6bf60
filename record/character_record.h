// The character record that one run of cardstow fills in, and the fixed-size
// text field every text answer is stored in.
#ifndef CARDSTOW_RECORD_CHARACTER_RECORD_H_
#define CARDSTOW_RECORD_CHARACTER_RECORD_H_

#include <array>
#include <cstddef>
#include <cstdint>
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

// The answers of one run. Every text starts empty and every number at zero;
// current_perk is overwritten for each perk, so perks are not kept here.
struct character_record {
  text_field name{};
  std::int32_t level = 0;
  std::int32_t strength = 0;
  std::int32_t perception = 0;
  std::int32_t endurance = 0;
  std::int32_t charisma = 0;
  std::int32_t intelligence = 0;
  std::int32_t agility = 0;
  std::int32_t luck = 0;
  text_field first_trait{};
  text_field second_trait{};
  text_field first_tag{};
  text_field second_tag{};
  text_field third_tag{};
  std::int32_t perk_count = 0;
  text_field current_perk{};
};

#endif  // CARDSTOW_RECORD_CHARACTER_RECORD_H_
