// Fault and scale tests of the real cardstow program: a huge answer line in
// small memory, a huge perk count, a full device, a directory as the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"

#if defined(__SANITIZE_ADDRESS__)
#define CARDSTOW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CARDSTOW_ASAN 1
#endif
#endif

namespace {

// Answers from the level to the tags, all on lines of their own.
const std::string answers_after_name =
    "12\n6\n7\n5\n4\n8\n9\n3\nFast Shot\nSmall Frame\nGuns\nLockpick\n"
    "Speech\n";

const std::string sheet_after_name =
    "Level: 12\n\nST: 6      IN: 8\nPE: 7      AG: 9\nEN: 5      LK: 3\n"
    "CH: 4\n\nTraits: Fast Shot\n        Small Frame\n\nTags:   Guns\n"
    "        Lockpick\n        Speech\n\nPerks:\n";

const std::string title = "Ironvale Scout Corps Personal Record\n\n";

// The byte at `offset` of the huge answer line: a run of letters that shows
// which part of the line was kept.
char huge_line_byte(std::uint64_t offset) {
  return static_cast<char>('a' + offset % 26);
}

// Console input of "big.TXT", a name line of `line_bytes` bytes, then the
// other answers, made a mebibyte at a time as the child reads it.
input_source huge_name_input(std::uint64_t line_bytes) {
  constexpr std::uint64_t piece = 1u << 20;
  std::uint64_t made = 0;
  int stage = 0;
  return [=](std::string& chunk) mutable {
    if (stage == 0) {
      chunk = "big.TXT\n";
      stage = 1;
    } else if (stage == 1 && made < line_bytes) {
      const std::uint64_t size = std::min(piece, line_bytes - made);
      chunk.resize(static_cast<std::size_t>(size));
      for (char& byte : chunk) byte = huge_line_byte(made++);
    } else if (stage == 1) {
      chunk = "\n" + answers_after_name + "1\nPerk\n";
      stage = 2;
    } else {
      return false;
    }
    return true;
  };
}

TEST(CardstowScale, HugeAnswerLineIsCutAndReadInSmallMemory) {
  constexpr std::uint64_t line_bytes = std::uint64_t{200} << 20;
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  child_run run;
  run.directory = dir.path;
  run.input = huge_name_input(line_bytes);
  run.time_limit = std::chrono::seconds(240);
  const child_result r = run_child(run);
  ASSERT_EQ(r.exit_status, 0) << describe_end(r);
  std::string rest;
  EXPECT_TRUE(split_screen(r.out, rest));
  EXPECT_EQ(rest, file_prompt + questionnaire_prompts +
                      "Enter perk: " + stored_lines("big.TXT"));
  std::string kept;
  for (std::uint64_t i = 0; i < 29; ++i) kept += huge_line_byte(i);
  EXPECT_EQ(file_content(dir.path + "/big.TXT"),
            title + "Name: " + kept + "\n" + sheet_after_name + "Perk\n");
#ifdef CARDSTOW_ASAN
  GTEST_SKIP() << "peak memory of an AddressSanitizer build is not the "
                  "program's; it is checked in the plain build";
#else
  EXPECT_LT(r.peak_rss_kib, 6 * 1024)
      << "peak RSS in KiB reading a 200 MiB answer line";
#endif
}

// How many times `part` occurs in `text`.
std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

TEST(CardstowScale, HugePerkCountEndsWithTheInput) {
  struct perk_case {
    std::string after_count;  // input after "2147483647"
    std::string perk_lines;   // the record after "Perks:\n"
  };
  const perk_case cases[] = {
      {"\n", ""},
      {"", ""},
      {" and more on the line\n", ""},
      {"\nToughness\nLead Belly\n", "Toughness\nLead Belly\n"},
      {"\nToughness\n\nLead Belly", "Toughness\n\nLead Belly\n"},
  };
  for (const perk_case& c : cases) {
    const std::string input =
        "many.TXT\nMara\n" + answers_after_name + "2147483647" + c.after_count;
    SCOPED_TRACE(testing::Message() << "input after the tags: 2147483647"
                                    << testing::PrintToString(c.after_count));
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const child_result r = run_cardstow(dir.path, input);
    ASSERT_EQ(r.exit_status, 0) << describe_end(r);
    EXPECT_EQ(file_content(dir.path + "/many.TXT"),
              title + "Name: Mara\n" + sheet_after_name + c.perk_lines);
    // One prompt per perk typed, and at most one more that met the end.
    const std::size_t typed = count_of(c.perk_lines, "\n");
    const std::size_t prompts = count_of(r.out, "Enter perk: ");
    EXPECT_TRUE(prompts == typed || prompts == typed + 1)
        << prompts << " perk prompts for " << typed << " perks";
    EXPECT_TRUE(r.out.ends_with(stored_lines("many.TXT"))) << r.out;
  }
}

TEST(CardstowFault, RecordOnAFullDeviceIsReportedAsFailed) {
  for (const int perks : {0, 3, 20000}) {
    SCOPED_TRACE(testing::Message() << "/dev/full with " << perks << " perks");
    std::string input =
        "/dev/full\nMara\n" + answers_after_name + std::to_string(perks) + "\n";
    for (int i = 0; i < perks; ++i) input += "Perk " + std::to_string(i) + "\n";
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const child_result r = run_cardstow(dir.path, input);
    EXPECT_EQ(r.exit_status, 1) << describe_end(r);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "stderr: " << r.err;
    EXPECT_NE(r.err.find("/dev/full"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::strerror(ENOSPC)), std::string::npos) << r.err;
    // The whole dialogue still ran, every perk asked, and nothing claims the
    // record was stored.
    std::string expected = file_prompt + questionnaire_prompts;
    for (int i = 0; i < perks; ++i) expected += "Enter perk: ";
    std::string rest;
    EXPECT_TRUE(split_screen(r.out, rest));
    EXPECT_TRUE(rest == expected + thanks_line)
        << "console output ends with: "
        << rest.substr(rest.size() - std::min<std::size_t>(200, rest.size()));
    EXPECT_TRUE(entries_of(dir.path).empty());
  }
}

TEST(CardstowFault, DirectoryAsFileNameIsRefused) {
  for (const std::string name : {".", "sub", "sub/", "./sub/."}) {
    SCOPED_TRACE("file name " + name);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(std::filesystem::create_directory(dir.path + "/sub"));
    const child_result r =
        run_cardstow(dir.path, name + "\nMara\n" + answers_after_name + "0\n");
    EXPECT_EQ(r.exit_status, 1) << describe_end(r);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "stderr: " << r.err;
    EXPECT_NE(r.err.find(std::strerror(EISDIR)), std::string::npos) << r.err;
    std::string rest;
    EXPECT_TRUE(split_screen(r.out, rest));
    EXPECT_EQ(rest, file_prompt + thanks_line);
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{"sub"});
    EXPECT_TRUE(entries_of(dir.path + "/sub").empty());
  }
}

}  // namespace
