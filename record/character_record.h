// The character record that one run of cardstow fills in.
#ifndef CARDSTOW_RECORD_CHARACTER_RECORD_H_
#define CARDSTOW_RECORD_CHARACTER_RECORD_H_

#include <cstdint>

#include "record/text_field.h"

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
