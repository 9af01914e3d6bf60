// The record file's layout, byte for byte, and its open and close outcomes.
#include "record/record_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <string>

namespace {

text_field text(std::string_view s) {
  text_field field{};
  s.copy(field.data(), answer_capacity - 1);
  return field;
}

std::string sheet_of(const character_record& record) {
  std::ostringstream out;
  write_record_sheet(out, record);
  return out.str();
}

TEST(WriteRecordSheet, FullRecord) {
  character_record r;
  r.name = text("Mara Voss");
  r.level = 12;
  r.strength = 6;
  r.perception = 7;
  r.endurance = 5;
  r.charisma = 4;
  r.intelligence = 8;
  r.agility = 9;
  r.luck = 3;
  r.first_trait = text("Fast Shot");
  r.second_trait = text("Small Frame");
  r.first_tag = text("Guns");
  r.second_tag = text("Lockpick");
  r.third_tag = text("Speech");
  r.perk_count = 2;
  EXPECT_EQ(sheet_of(r),
            "Ironvale Scout Corps Personal Record\n"
            "\n"
            "Name: Mara Voss\n"
            "Level: 12\n"
            "\n"
            "ST: 6      IN: 8\n"
            "PE: 7      AG: 9\n"
            "EN: 5      LK: 3\n"
            "CH: 4\n"
            "\n"
            "Traits: Fast Shot\n"
            "        Small Frame\n"
            "\n"
            "Tags:   Guns\n"
            "        Lockpick\n"
            "        Speech\n"
            "\n"
            "Perks:\n");
}

TEST(WriteRecordSheet, EmptyFieldsLeaveLabelsOnly) {
  EXPECT_EQ(sheet_of(character_record{}),
            "Ironvale Scout Corps Personal Record\n"
            "\n"
            "Name: \n"
            "Level: 0\n"
            "\n"
            "ST: 0      IN: 0\n"
            "PE: 0      AG: 0\n"
            "EN: 0      LK: 0\n"
            "CH: 0\n"
            "\n"
            "Traits: \n"
            "        \n"
            "\n"
            "Tags:   \n"
            "        \n"
            "        \n"
            "\n"
            "Perks:\n");
}

TEST(WriteRecordSheet, NumbersInShortestFormSecondColumnUneven) {
  character_record r;
  r.level = -2147483647 - 1;
  r.strength = 10;
  r.perception = 5;
  r.endurance = -2;
  r.charisma = 2147483647;
  r.intelligence = -1;
  r.agility = 7;
  r.luck = 0;
  const std::string sheet = sheet_of(r);
  EXPECT_NE(sheet.find("Level: -2147483648\n"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find("ST: 10      IN: -1\n"
                       "PE: 5      AG: 7\n"
                       "EN: -2      LK: 0\n"
                       "CH: 2147483647\n"),
            std::string::npos)
      << sheet;
}

TEST(WritePerkLine, TextAloneOnItsLine) {
  std::ostringstream out;
  for (const char* perk : {"Toughness", "", "  Lead Belly"}) {
    write_perk_line(out, perk);
  }
  EXPECT_EQ(out.str(), "Toughness\n\n  Lead Belly\n");
}

TEST(RecordFile, FailuresCarryTheSystemReason) {
  struct failure_case {
    const char* name;
    int error;
  };
  const failure_case cases[] = {
      {"/nonexistent-dir/x.TXT", ENOENT},
      {"/", EISDIR},
  };
  for (const failure_case& c : cases) {
    record_file file;
    EXPECT_EQ(open_record_file(file, c.name), c.error) << "name: " << c.name;
    EXPECT_FALSE(file.stream.is_open()) << "name: " << c.name;
  }
  record_file full;
  ASSERT_EQ(open_record_file(full, "/dev/full"), 0);
  write_perk_line(full.stream, "lost");
  note_write_error(full);
  EXPECT_EQ(close_record_file(full), ENOSPC);
}

}  // namespace
