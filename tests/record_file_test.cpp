// The record file's layout, byte for byte, and its open and close outcomes.
#include "record/record_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/dialogue.h"
#include "platform.h"
#include "record/file_system.h"

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
      {"/", directory_open_error},
      // Windows cannot even spell a name that is no UTF-8.
      {"/nonexistent-dir/\xff.TXT", on_windows ? EILSEQ : ENOENT},
  };
  for (const failure_case& c : cases) {
    record_file file;
    EXPECT_EQ(open_record_file(file, c.name), c.error) << "name: " << c.name;
    EXPECT_EQ(file.handle.value, -1) << "name: " << c.name;
    EXPECT_FALSE(file.stream) << "name: " << c.name;
  }
  if (on_windows) return;  // no /dev/full
  record_file full;
  ASSERT_EQ(open_record_file(full, "/dev/full"), 0);
  write_perk_line(full.stream, "lost");
  note_write_error(full);
  EXPECT_EQ(close_record_file(full), ENOSPC);
}

std::string content_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// A file name of this test process of at most 29 bytes, free for a record.
std::string fresh_name(const char* stem) {
  const std::string name =
      "/tmp/" + std::string(stem) + std::to_string(getpid()) + ".TXT";
  std::remove(name.c_str());
  return name;
}

// A perk that crosses a file-size limit lifted before the next perk: the
// first reason is kept, the rest of that perk and every later one are
// dropped, and nothing already written is written again.
TEST(RecordFile, AFailedWriteEndsTheWriting) {
  const std::string name = fresh_name("cs-limit-");
  record_file file;
  ASSERT_EQ(open_record_file(file, name.c_str()), 0);
  ASSERT_EQ(start_record(file, character_record{}), 0);
  const std::string sheet = content_of(name);
  if (!limit_file_size(static_cast<long long>(sheet.size()) + 5)) {
    GTEST_SKIP() << "no file-size limit can be set here";
  }
  write_perk_line(file.stream, "abcdefghij");
  note_write_error(file);
  ASSERT_TRUE(limit_file_size(-1));
  write_perk_line(file.stream, "after the limit");
  note_write_error(file);
  EXPECT_EQ(close_record_file(file), EFBIG);
  EXPECT_EQ(content_of(name), sheet + "abcde");
  std::remove(name.c_str());
}

// The record is synced, and its folder too, before the report line; a
// failed sync or close is reported instead of it, and an existing record is
// then kept as it was.
TEST(RecordFile, SyncedBeforeItIsReported) {
  struct sync_case {
    const char* label;
    bool existing;
    file_call failing;
    int error;
    int syncs;  // of a run where nothing fails
  };
  const sync_case cases[] = {
      {"new file", false, file_call::sync, 0, 2},
      {"existing file", true, file_call::sync, 0, 2},
      {"sync of a new file fails", false, file_call::sync, EIO, 0},
      {"sync of an existing file fails", true, file_call::sync, EIO, 0},
      {"close fails", true, file_call::close, EIO, 0},
      {"rename fails", true, file_call::rename, EXDEV, 0},
  };
  for (const sync_case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string name = fresh_name("cs-sync-");
    if (c.existing) std::ofstream(name) << "old\n";
    std::istringstream in(name + "\nMara\n1\n");
    std::ostringstream out;
    std::ostringstream err;
    std::vector<bool> reported_at_sync;
    const auto before_sync = [&] {
      reported_at_sync.push_back(out.str().find("stored") != std::string::npos);
    };
    text_field field{};
    name.copy(field.data(), answer_capacity - 1);
    if (!fail_file_call(file_call::sync, 0, before_sync)) {
      GTEST_SKIP() << "file calls cannot be made to fail here";
    }
    if (c.error != 0) fail_file_call(c.failing, c.error, before_sync);
    const int status = fill_in_record(field, in, out, err);
    fail_file_call(file_call::sync, 0, {});
    fail_file_call(file_call::close, 0, {});
    fail_file_call(file_call::rename, 0, {});
    const std::string kept = leftover_name(name);
    if (c.error == 0) {
      EXPECT_EQ(status, 0) << err.str();
      EXPECT_EQ(reported_at_sync,
                std::vector<bool>(static_cast<std::size_t>(c.syncs), false));
      EXPECT_NE(out.str().find("stored in " + name), std::string::npos);
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(out.str().find("stored"), std::string::npos) << out.str();
      const std::string reason = std::strerror(c.error);
      EXPECT_EQ(
          err.str(),
          c.failing == file_call::rename
              ? "cardstow: cannot put the record in place of \"" + name +
                    "\": " + reason + "; it is kept in \"" + kept +
                    "\", and the previous record is kept\n"
              : "cardstow: cannot write the record to \"" + name +
                    "\": " + reason +
                    (c.existing ? "; its previous record is kept\n" : "\n"));
      if (c.existing) {
        EXPECT_EQ(content_of(name), "old\n");
      }
      // The whole record, synced, is kept under the new file's name.
      const std::string empty = sheet_of({});
      const std::string record_end =
          "Level: 1\n" + empty.substr(empty.find("Level: 0\n") + 9);
      EXPECT_EQ(content_of(kept).ends_with(record_end),
                c.failing == file_call::rename)
          << content_of(kept);
    }
    std::remove(name.c_str());
    std::remove(kept.c_str());
  }
}

// A record written in place (the file has a second hard link) whose
// emptying fails: nothing is written after it, and closing reports it.
TEST(RecordFile, NothingIsWrittenAfterAFailedStart) {
  const std::string name = fresh_name("cs-start-");
  if (!fail_file_call(file_call::truncate, 0, {})) {
    GTEST_SKIP() << "file calls cannot be made to fail here";
  }
  std::ofstream(name) << "old\n";
  const std::string twin = name + ".twin";
  std::error_code error;
  std::filesystem::create_hard_link(name, twin, error);
  ASSERT_FALSE(error) << error.message();
  record_file file;
  ASSERT_EQ(open_record_file(file, name.c_str()), 0);
  EXPECT_EQ(file.place, record_place::in_place);
  fail_file_call(file_call::truncate, EIO, {});
  EXPECT_EQ(start_record(file, character_record{}), EIO);
  fail_file_call(file_call::truncate, 0, {});
  write_perk_line(file.stream, "perk");
  note_write_error(file);
  EXPECT_EQ(close_record_file(file), EIO);
  EXPECT_EQ(content_of(name), "");
  std::remove(name.c_str());
  std::remove(twin.c_str());
}

// Windows would open another file or a device under these names; elsewhere
// every name is the system's to judge.
TEST(NameRefusal, NamesWindowsWouldChangeOrTakeForADevice) {
  struct name_case {
    const char* name;
    bool refused_on_windows;
  };
  const name_case cases[] = {
      {"hero.TXT", false},
      {"h\xC3\xA9ros.TXT", false},
      {"c:\\saves/hero.TXT", false},
      {"Z:/hero.TXT", false},
      {"\\\\server\\share\\hero.TXT", false},
      {"//server/share/hero.TXT", false},
      {"\\\\.hidden\\share\\hero.TXT", false},
      {"./saves/../hero.TXT", false},
      {"nul\\hero.TXT", false},
      // The device namespace, where any device is reached.
      {"\\\\.\\COM10", true},
      {"//./GLOBALROOT/Device/Null", true},
      {"\\/.\\PhysicalDrive0", true},
      {"\\\\.", true},
      {"\\\\?\\C:\\hero.TXT", true},
      {"\\??\\C:\\hero.TXT", true},
      // Devices, by the last component's part before its first dot.
      {"NUL.TXT", true},
      {"aux.txt", true},
      {"Com1.TXT", true},
      {"lpt9", true},
      {"saves\\con.tar.gz", true},
      {"NUL .TXT", true},
      {"CONOUT$", true},
      {"COM\u00B9.TXT", true},
      {"COM0.TXT", false},
      {"COM10.TXT", false},
      {"console.TXT", false},
      {"hero.NUL", false},
      // What Windows drops from the end of a name.
      {"hero.TXT.", true},
      {"hero.TXT ", true},
      {"saves/hero.", true},
      {"sub./hero.TXT", true},
      {"C:\\saves \\hero.TXT", true},
      {"\\\\server\\share.\\hero.TXT", true},
      {"...", true},
      // A folder, not a file.
      {"x.TXT\\.", true},
      {"x.TXT/..", true},
      {".", true},
      {"..", true},
      // A colon is a drive's, or names a stream of another file, or the
      // folder a drive was last in.
      {"a:b.TXT", true},
      {"C:\\a:b", true},
      {"C:hero.TXT", true},
      {"1:hero.TXT", true},
      // Characters no Windows name holds, wherever they stand.
      {"a<b.TXT", true},
      {"a>b.TXT", true},
      {"a\"b.TXT", true},
      {"a|b.TXT", true},
      {"hero?.TXT", true},
      {"*.TXT", true},
      {"dir\x1f/x.TXT", true},
  };
  for (const name_case& c : cases) {
    EXPECT_EQ(name_refusal(c.name) != nullptr,
              on_windows && c.refused_on_windows)
        << "name: " << c.name;
  }
}

}  // namespace
