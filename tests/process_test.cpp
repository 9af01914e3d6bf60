// End-to-end tests of the real cardstow program: piped console input in a
// fresh working directory; console output, record file and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "test_needs.h"

namespace {

// The answers of the README session from the character name to the tags.
const std::string mara_answers =
    "Mara Voss\n12\n6\n7\n5\n4\n8\n9\n3\nFast Shot\nSmall Frame\nGuns\n"
    "Lockpick\nSpeech\n";

// The record of those answers through its "Perks:" line.
const std::string mara_sheet =
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
    "Perks:\n";

// For run_case::err_mentions: one line on standard error, whatever it says.
const std::vector<std::string> any_one_line = {""};

void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Runs cardstow in `dir` as `cardstow < answers_file`, the file holding
// `answers`.
child_result run_from_file(const std::string& dir,
                           const std::string& answers_file,
                           const std::string& answers) {
  write_file(answers_file, answers);
  child_run run;
  run.directory = dir;
  run.input_file = answers_file;
  return run_child(run);
}

// One run of the program and everything it should leave behind.
struct run_case {
  std::string label;
  std::string input;
  std::vector<std::string> args = {};
  // A file in the working directory before the run, and its content.
  std::string existing_name = {};
  std::string existing_content = {};
  int status = 0;
  std::string out = {};  // console output after the start-up screen
  // Standard error: empty when this is empty, otherwise one line holding
  // each of these.
  std::vector<std::string> err_mentions = {};
  // The record file expected in the working directory afterwards, and its
  // content; no name: nothing but the existing file is left there.
  std::string record_name = {};
  std::string record = {};
};

// Standard error is empty when `mentions` is, otherwise one line holding
// each of them.
void check_stderr(const std::string& err,
                  const std::vector<std::string>& mentions) {
  if (mentions.empty()) {
    EXPECT_EQ(err, "");
    return;
  }
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "stderr: " << err;
  for (const std::string& part : mentions) {
    EXPECT_NE(err.find(part), std::string::npos)
        << "stderr \"" << err << "\" lacks \"" << part << "\"";
  }
}

// Standard error is one line holding each of `parts`, in order.
void check_stderr_lines(const std::string& err,
                        const std::vector<std::string>& parts) {
  std::size_t at = 0;
  for (const std::string& part : parts) {
    const std::size_t end = err.find('\n', at);
    ASSERT_NE(end, std::string::npos)
        << "stderr has no line for \"" << part << "\": " << err;
    EXPECT_NE(err.substr(at, end - at).find(part), std::string::npos)
        << "stderr line \"" << err.substr(at, end - at) << "\" lacks \"" << part
        << "\"";
    at = end + 1;
  }
  EXPECT_EQ(at, err.size()) << "stderr: " << err;
}

// The working directory holds the record and the file that was there
// before, nothing else, and the latter is untouched unless it is the record.
void check_files(const std::string& dir, const run_case& c) {
  std::vector<std::string> left;
  if (!c.existing_name.empty()) left.push_back(c.existing_name);
  if (!c.record_name.empty() && c.record_name != c.existing_name) {
    left.push_back(c.record_name);
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(entries_of(dir), left);
  if (!c.record_name.empty()) {
    EXPECT_EQ(file_content(dir + "/" + c.record_name), c.record);
  }
  if (!c.existing_name.empty() && c.existing_name != c.record_name) {
    EXPECT_EQ(file_content(dir + "/" + c.existing_name), c.existing_content)
        << "a file the run should not touch changed";
  }
}

void check_run(const run_case& c) {
  SCOPED_TRACE(testing::Message()
               << c.label << "; input "
               << testing::PrintToString(c.input.substr(0, 160)));
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  if (!c.existing_name.empty()) {
    write_file(dir.path + "/" + c.existing_name, c.existing_content);
  }
  const child_result r = run_cardstow(dir.path, c.input, c.args);
  EXPECT_EQ(r.exit_status, c.status) << describe_end(r);
  std::string rest;
  EXPECT_TRUE(split_screen(r.out, rest)) << r.out;
  EXPECT_EQ(rest, c.out);
  check_stderr(r.err, c.err_mentions);
  check_files(dir.path, c);
}

const std::string empty_sheet_after_level =
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
    "Perks:\n";

TEST(CardstowRun, StoresTheRecordAndSaysWhere) {
  const std::string name29 = "abcdefghijklmnopqrstuvwxy.TXT";
  ASSERT_EQ(name29.size(), 29u);
  const run_case cases[] = {
      {.label = "typical run",
       .input = "mara.TXT\n" + mara_answers + "2\nToughness\nLead Belly\n",
       .out = file_prompt + questionnaire_prompts +
              "Enter perk: Enter perk: " + stored_lines("mara.TXT"),
       .record_name = "mara.TXT",
       .record = mara_sheet + "Toughness\nLead Belly\n"},
      {.label = "arguments on the command line are ignored",
       .input = "mara.TXT\n" + mara_answers + "1\nToughness\n",
       .args = {"--help", "other.TXT", "-o", "x"},
       .out = file_prompt + questionnaire_prompts +
              "Enter perk: " + stored_lines("mara.TXT"),
       .record_name = "mara.TXT",
       .record = mara_sheet + "Toughness\n"},
      {.label = "no perks",
       .input = "none.TXT\n" + mara_answers + "0\nnot a perk\n",
       .out = file_prompt + questionnaire_prompts + stored_lines("none.TXT"),
       .record_name = "none.TXT",
       .record = mara_sheet},
      {.label = "a negative perk count asks no perk",
       .input = "neg.TXT\n" + mara_answers + "-4\nnot a perk\n",
       .out = file_prompt + questionnaire_prompts + stored_lines("neg.TXT"),
       .record_name = "neg.TXT",
       .record = mara_sheet},
      {.label = "three perks, in the order typed, spaces kept",
       .input = "three.TXT\n" + mara_answers +
                "3 and the rest of the line\nToughness\n  Lead Belly\n"
                "Night Person \n",
       .out = file_prompt + questionnaire_prompts + "Enter perk: Enter perk: " +
              "Enter perk: " + stored_lines("three.TXT"),
       .record_name = "three.TXT",
       .record = mara_sheet + "Toughness\n  Lead Belly\nNight Person \n"},
      {.label = "end of input early in the questions",
       .input = "early.TXT\nMara\n4\n",
       .out = file_prompt + questionnaire_prompts + stored_lines("early.TXT"),
       .record_name = "early.TXT",
       .record = "Ironvale Scout Corps Personal Record\n\nName: Mara\n"
                 "Level: 4\n" +
                 empty_sheet_after_level},
      {.label = "end of input right after the file name",
       .input = "bare.TXT",
       .out = file_prompt + questionnaire_prompts + stored_lines("bare.TXT"),
       .record_name = "bare.TXT",
       .record = "Ironvale Scout Corps Personal Record\n\nName: \n"
                 "Level: 0\n" +
                 empty_sheet_after_level},
      {.label = "end of input after the first of three perks",
       .input = "some.TXT\n" + mara_answers + "3\nToughness\n",
       .out = file_prompt + questionnaire_prompts +
              "Enter perk: Enter perk: " + stored_lines("some.TXT"),
       .record_name = "some.TXT",
       .record = mara_sheet + "Toughness\n"},
      {.label = "a last perk without its line end is kept",
       .input = "last.TXT\n" + mara_answers + "5\nToughness\nLead Belly",
       .out = file_prompt + questionnaire_prompts +
              "Enter perk: Enter perk: " + stored_lines("last.TXT"),
       .record_name = "last.TXT",
       .record = mara_sheet + "Toughness\nLead Belly\n"},
      {.label = "a file name of exactly 29 bytes",
       .input = name29 + "\n" + mara_answers + "0\n",
       .out = file_prompt + questionnaire_prompts + stored_lines(name29),
       .record_name = name29,
       .record = mara_sheet},
      {.label = "through a pipe the report line names the file as typed",
       .input = "\x1b]2;PWNED\x07x.TXT\n" + mara_answers + "0\n",
       .out = file_prompt + questionnaire_prompts +
              stored_lines("\x1b]2;PWNED\x07x.TXT"),
       .record_name = "\x1b]2;PWNED\x07x.TXT",
       .record = mara_sheet},
      {.label = "an existing file is replaced by a shorter record",
       .input = "old.TXT\n" + mara_answers + "1\nToughness\n",
       .existing_name = "old.TXT",
       .existing_content = std::string(20000, 'x') + "\nold tail\n",
       .out = file_prompt + questionnaire_prompts +
              "Enter perk: " + stored_lines("old.TXT"),
       .record_name = "old.TXT",
       .record = mara_sheet + "Toughness\n"},
  };
  for (const run_case& c : cases) check_run(c);
}

// `cardstow < answers.txt`: console input from a file, read to its end.
TEST(CardstowRun, TakesItsAnswersFromAFile) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  temp_dir answers;
  ASSERT_FALSE(answers.path.empty());
  const child_result r =
      run_from_file(dir.path, answers.path + "/answers.txt",
                    "mara.TXT\n" + mara_answers + "3\nToughness\nLead Belly\n");
  EXPECT_EQ(r.exit_status, 0) << describe_end(r);
  EXPECT_EQ(r.err, "");
  std::string rest;
  EXPECT_TRUE(split_screen(r.out, rest));
  EXPECT_EQ(rest, file_prompt + questionnaire_prompts +
                      "Enter perk: Enter perk: Enter perk: " +
                      stored_lines("mara.TXT"));
  EXPECT_EQ(file_content(dir.path + "/mara.TXT"),
            mara_sheet + "Toughness\nLead Belly\n");
}

// `text` with every line feed made a carriage return and line feed.
std::string with_crlf(const std::string& text) {
  std::string crlf;
  for (const char c : text)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

// `text` (UTF-8) as UTF-16 after its byte-order mark, little endian or big.
std::string utf16_of(const std::string& text, bool little_endian) {
  std::u16string units = u"\uFEFF";
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                                             : 4;
    char32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    }
    i += length;
    if (code >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(code);
    }
  }
  std::string bytes;
  for (const char16_t unit : units) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

// An answers file saved with CR LF line ends, with a UTF-8 byte-order mark or
// as UTF-16 (as Windows tools save them) gives the same file name, record and
// console output as the same answers in UTF-8 with LF line ends; the 29-byte
// limits count UTF-8 bytes.
TEST(CardstowRun, CrLfAnswersFileGivesTheSameRecord) {
  const std::string name29 = "Abcdefghijklmnopqrstuvwxyz123";
  const std::string accented = std::string(27, 'e') + "\u00e9\u00e9";
  const std::string answers = "h\u00e9ros.TXT\n" + name29 +
                              "\n12\n6\n7\n5\n4\n8\n9\n3\nFast Shot\n"
                              "Small Frame\nGuns\nLockpick\nSpeech\n"
                              "4\nlone\rCR\n\nLead Belly\n" +
                              accented + "\n";
  const std::string record =
      "Ironvale Scout Corps Personal Record\n\nName: " + name29 + "\n" +
      mara_sheet.substr(mara_sheet.find("Level:")) +
      "lone\rCR\n\nLead Belly\n" + accented.substr(0, 29) + "\n";
  const std::string utf8_mark = "\xEF\xBB\xBF";
  for (const std::string& input :
       {answers, with_crlf(answers), utf8_mark + with_crlf(answers),
        utf16_of(with_crlf(answers), true),
        utf16_of(with_crlf(answers), false)}) {
    SCOPED_TRACE("answers " + testing::PrintToString(input));
    temp_dir dir;
    temp_dir answers_dir;
    ASSERT_FALSE(dir.path.empty() || answers_dir.path.empty());
    const child_result r =
        run_from_file(dir.path, answers_dir.path + "/answers.txt", input);
    EXPECT_EQ(r.exit_status, 0) << describe_end(r);
    std::string rest;
    EXPECT_TRUE(split_screen(r.out, rest));
    EXPECT_EQ(rest, file_prompt + questionnaire_prompts +
                        "Enter perk: Enter perk: Enter perk: Enter perk: " +
                        stored_lines("h\u00e9ros.TXT"));
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{"h\u00e9ros.TXT"});
    EXPECT_EQ(file_content(dir.path + "/h\u00e9ros.TXT"), record);
  }
}

// A console that cannot be read or written never crashes the run. A read
// error is no end of input: before the record sheet it stores nothing and
// leaves an existing file as it was, during the perks it keeps those typed.
// A failed write loses only console output. Either is reported once, with
// exit status 1.
TEST(CardstowRun, ReportsConsoleFailures) {
  struct failure_case {
    std::string label;
    std::string input = {};
    bool close_input = false;
    bool input_is_directory = false;
    bool reset_input = false;  // a read error once `input` is read
    std::string output_file = {};
    bool output_unread = false;
    std::vector<std::string> err_lines = {};  // a part of each stderr line
    std::string out = {};       // console output after the start-up screen
    std::string existing = {};  // in r.TXT before the run; none when empty
    std::string record = {};    // in r.TXT after the run; none when empty
  };
  const std::string reset = std::strerror(ECONNRESET);
  const std::string old_record = "an older record\n" + std::string(3000, 'x');
  const failure_case cases[] = {
      {.label = "no standard input at all",
       .close_input = true,
       .err_lines = {std::string("cannot read standard input: ") +
                     std::strerror(EBADF) + "; nothing was stored"},
       .out = file_prompt + thanks_line},
      {.label = "a directory as standard input",
       .input_is_directory = true,
       .err_lines = {std::string("cannot read standard input: ") +
                     std::strerror(EISDIR) + "; nothing was stored"},
       .out = file_prompt + thanks_line},
      {.label = "a read error in the middle of the questions",
       .input = "r.TXT\nMara\n12\n",
       .reset_input = true,
       .err_lines = {"cannot read standard input: " + reset +
                     "; nothing was stored"},
       .out = file_prompt + "Character Name: Level: Strength: " + thanks_line,
       .existing = old_record,
       .record = old_record},
      {.label = "a read error at the perk count",
       .input = "r.TXT\n" + mara_answers,
       .reset_input = true,
       .err_lines = {"cannot read standard input: " + reset +
                     "; nothing was stored"},
       .out = file_prompt + questionnaire_prompts + thanks_line,
       .existing = old_record,
       .record = old_record},
      {.label = "a read error during the perks",
       .input = "r.TXT\n" + mara_answers + "3\nToughness\n",
       .reset_input = true,
       .err_lines = {"cannot read standard input: " + reset},
       .out = file_prompt + questionnaire_prompts +
              "Enter perk: Enter perk: " + stored_lines("r.TXT"),
       .existing = old_record,
       .record = mara_sheet + "Toughness\n"},
      {.label = "console output to a full device",
       .input = "r.TXT\n" + mara_answers + "1\nToughness\n",
       .output_file = "/dev/full",
       .err_lines = {std::string("cannot write standard output: ") +
                     std::strerror(ENOSPC)},
       .record = mara_sheet + "Toughness\n"},
      {.label = "console output to a pipe no one reads",
       .input = "r.TXT\n" + mara_answers + "1\nToughness\n",
       .output_unread = true,
       .err_lines = {std::string("cannot write standard output: ") +
                     std::strerror(EPIPE)},
       .record = mara_sheet + "Toughness\n"},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(c.label);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    if (!c.existing.empty()) write_file(dir.path + "/r.TXT", c.existing);
    child_run run;
    run.directory = dir.path;
    run.input = bytes_source(c.input);
    run.close_input = c.close_input;
    if (c.input_is_directory) run.input_file = dir.path;
    run.reset_input = c.reset_input;
    run.output_file = c.output_file;
    run.output_unread = c.output_unread;
    const child_result r = run_child(run);
    EXPECT_EQ(r.exit_status, 1) << describe_end(r);
    std::string rest;
    if (c.output_file.empty() && !c.output_unread) {
      EXPECT_TRUE(split_screen(r.out, rest)) << r.out;
      EXPECT_EQ(rest, c.out);
    }
    check_stderr_lines(r.err, c.err_lines);
    if (!c.record.empty() && c.record != c.existing) {
      EXPECT_EQ(r.err.find("nothing was stored"), std::string::npos) << r.err;
    }
    if (c.record.empty()) {
      EXPECT_TRUE(entries_of(dir.path).empty());
    } else {
      EXPECT_EQ(file_content(dir.path + "/r.TXT"), c.record);
    }
  }
}

// A standard input that does not block (its writer set O_NONBLOCK) or a
// slow writer: answers that come in two parts, the second 0.3 s after the
// first, make the whole record all the same.
TEST(CardstowRun, WaitsForAnswersThatComeLater) {
  const std::string answers =
      "late.TXT\n" + mara_answers + "2\nToughness\nLead Belly\n";
  for (const bool nonblocking : {true, false}) {
    SCOPED_TRACE(nonblocking ? "non-blocking pipe" : "pipe");
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    child_run run;
    run.directory = dir.path;
    run.nonblocking_input = nonblocking;
    // The first part ends in the middle of the level.
    run.input = two_part_source(answers.substr(0, 20), answers.substr(20),
                                std::chrono::milliseconds(300));
    const child_result r = run_child(run);
    EXPECT_EQ(r.exit_status, 0) << describe_end(r);
    std::string rest;
    EXPECT_TRUE(split_screen(r.out, rest)) << r.out;
    EXPECT_EQ(rest, file_prompt + questionnaire_prompts +
                        "Enter perk: Enter perk: " + stored_lines("late.TXT"));
    EXPECT_EQ(file_content(dir.path + "/late.TXT"),
              mara_sheet + "Toughness\nLead Belly\n");
  }
}

// `cardstow < hero.TXT` answering hero.TXT: the answers file is never
// written over.
TEST(CardstowRun, RefusesTheAnswersFileAsTheRecord) {
  struct refused_name {
    std::string typed, file, shown;
  };
  const refused_name names[] = {
      {"hero.TXT", "hero.TXT", "hero.TXT"},
      {"./hero.TXT", "hero.TXT", "./hero.TXT"},
      {"h\xE2\x80\x8B\x1b[8mero.TXT", "h\xE2\x80\x8B\x1b[8mero.TXT",
       "h\\u200b\\x1b[8mero.TXT"},
  };
  for (const auto& [name, file, shown] : names) {
    SCOPED_TRACE("file name " + name);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string answers = name + "\n" + mara_answers + "1\nToughness\n";
    const std::string answers_file = dir.path + "/" + file;
    const child_result r = run_from_file(dir.path, answers_file, answers);
    EXPECT_EQ(r.exit_status, 1) << describe_end(r);
    std::string rest;
    EXPECT_TRUE(split_screen(r.out, rest));
    EXPECT_EQ(rest, file_prompt + thanks_line);
    check_stderr(r.err,
                 {"\"" + shown + "\" is the file the answers are read from"});
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{file});
    EXPECT_EQ(file_content(answers_file), answers);
  }
}

TEST(CardstowRun, RefusesAFileNameItCannotUse) {
  const std::string name30 = "abcdefghijklmnopqrstuvwxyz.TXT";
  ASSERT_EQ(name30.size(), 30u);
  const std::string refused = file_prompt + thanks_line;
  const run_case cases[] = {
      {.label = "empty file name",
       .input = "\n" + mara_answers + "0\n",
       .status = 1,
       .out = refused,
       .err_mentions = any_one_line},
      {.label = "no input at all",
       .input = "",
       .status = 1,
       .out = refused,
       .err_mentions = any_one_line},
      {.label = "a name over 29 bytes is not cut to the file it starts with",
       .input = name30 + "\n" + mara_answers + "0\n",
       .existing_name = name30.substr(0, 29),
       .existing_content = "another record\n",
       .status = 1,
       .out = refused,
       .err_mentions = {name30.substr(0, 29)}},
      {.label = "a long name that ends at end of input",
       .input = std::string(300, 'n'),
       .status = 1,
       .out = refused,
       .err_mentions = {std::string(29, 'n')}},
      {.label = "a directory that does not exist",
       .input = "missing/r.TXT\n" + mara_answers + "0\n",
       .status = 1,
       .out = refused,
       .err_mentions = {"missing/r.TXT", std::strerror(ENOENT)}},
  };
  for (const run_case& c : cases) check_run(c);
}

TEST(CardstowRun, ReportsARecordThatCouldNotBeWritten) {
  check_run({.label = "/dev/full",
             .input = "/dev/full\n" + mara_answers + "2\nToughness\nLead\n",
             .status = 1,
             .out = file_prompt + questionnaire_prompts +
                    "Enter perk: Enter perk: " + thanks_line,
             .err_mentions = {"/dev/full", std::strerror(ENOSPC)}});
}

// The file console output goes to is never the record, whatever names it;
// another existing file next to the answers file is no answers file.
TEST(CardstowRun, RefusesConsoleOutputAsTheRecord) {
  struct output_case {
    const char* label;
    const char* name;     // answered as the record
    bool stdout_to_file;  // standard output goes to hero.TXT
    bool stderr_to_file;  // standard error goes to hero.TXT
    bool refused;
  };
  const output_case cases[] = {
      {"standard output", "hero.TXT", true, false, true},
      {"/dev/stdout while it is a file", "/dev/stdout", true, false, true},
      {"standard error", "hero.TXT", false, true, true},
      {"another file next to the answers file", "other.TXT", false, false,
       false},
  };
  for (const output_case& c : cases) {
    SCOPED_TRACE(c.label);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string hero = dir.path + "/hero.TXT";
    write_file(hero, "");
    write_file(dir.path + "/other.TXT", "old\n");
    const std::string answers = dir.path + "/answers";
    write_file(answers, std::string(c.name) + "\n" + mara_answers + "0\n");
    child_run run;
    run.directory = dir.path;
    run.input_file = answers;
    if (c.stdout_to_file) run.output_file = hero;
    if (c.stderr_to_file) {
      run.args = {"-c", "exec \"$0\" 2>hero.TXT", run.program};
      run.program = "/bin/sh";
    }
    const child_result r = run_child(run);
    EXPECT_EQ(r.exit_status, c.refused ? 1 : 0) << describe_end(r);
    const std::string console =
        c.stdout_to_file ? file_content(hero) : r.out + file_content(hero);
    EXPECT_EQ(console.find("Ironvale"), std::string::npos) << console;
    if (!c.refused) {
      EXPECT_EQ(file_content(dir.path + "/other.TXT"), mara_sheet);
      continue;
    }
    const std::string err = c.stderr_to_file ? file_content(hero) : r.err;
    check_stderr(err, {std::string("\"") + c.name +
                       "\" is the file console output goes to"});
    EXPECT_EQ(console.find("Character Name:"), std::string::npos) << console;
  }
}

// What cannot take a whole record is refused at once, nothing asked: an
// append-only file and a FIFO no process reads.
TEST(CardstowRun, RefusesAFileThatCannotTakeTheRecord) {
  struct unfit_case {
    const char* label;
    const char* make;  // shell command making r.TXT
    int error;
  };
  const unfit_case cases[] = {
      {"append-only file", "echo old >r.TXT && chattr +a r.TXT", EPERM},
      {"FIFO without a reader", "mkfifo r.TXT", ENXIO},
  };
  for (const unfit_case& c : cases) {
    SCOPED_TRACE(c.label);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string make =
        "cd " + dir.path + " && (" + c.make + ") 2>/dev/null";
    if (std::system(make.c_str()) != 0) {
      // chattr +a needs root, e2fsprogs and a file system with attributes.
      if (under_ci()) {
        ADD_FAILURE() << "needs root and chattr for /tmp (CI=true)";
      } else {
        std::printf("skipped \"%s\": needs root and chattr for /tmp\n",
                    c.label);
      }
      continue;
    }
    child_run run;
    run.directory = dir.path;
    run.input = bytes_source("r.TXT\n" + mara_answers + "0\n");
    run.time_limit = std::chrono::seconds{10};
    const child_result r = run_child(run);
    std::system(("chattr -a " + dir.path + "/r.TXT 2>/dev/null").c_str());
    EXPECT_EQ(r.exit_status, 1) << describe_end(r);
    std::string rest;
    EXPECT_TRUE(split_screen(r.out, rest));
    EXPECT_EQ(rest, file_prompt + thanks_line);
    check_stderr(r.err, {"\"r.TXT\"", std::strerror(c.error)});
  }
}

// A second run naming the file the first is writing is refused while the
// first waits at a question; the first then stores its whole record.
TEST(CardstowRun, OneRunWritesARecordAtATime) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string record = dir.path + "/two.TXT";
  write_file(record, "old\n");
  std::promise<void> second_done;
  std::future<void> go = second_done.get_future();
  int pieces = 0;
  child_run first;
  first.directory = dir.path;
  first.input = [&](std::string& chunk) {
    if (pieces == 2) return false;
    if (pieces++ == 0) {
      chunk = "two.TXT\nMara Voss\n";
      return true;
    }
    go.wait_for(std::chrono::seconds{30});
    chunk = mara_answers.substr(10) + "1\nToughness\n";
    return true;
  };
  child_result first_result;
  std::thread first_run([&] { first_result = run_child(first); });
  // The first run holds its lock once it asks its questions.
  const int fd = open(record.c_str(), O_RDWR | O_CLOEXEC);
  struct flock lock {};
  for (int tries = 0; fd >= 0 && tries < 2000 && lock.l_type != F_WRLCK;
       ++tries) {
    lock = {};
    lock.l_type = F_WRLCK;
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) break;
    if (lock.l_type != F_WRLCK) usleep(5000);
  }
  if (fd >= 0) close(fd);
  EXPECT_EQ(lock.l_type, F_WRLCK) << "the first run took no lock";
  const child_result second =
      run_cardstow(dir.path, "two.TXT\n" + mara_answers + "0\n");
  second_done.set_value();
  first_run.join();
  EXPECT_EQ(second.exit_status, 1) << describe_end(second);
  check_stderr(second.err,
               {"\"two.TXT\" is being written by another cardstow run"});
  std::string rest;
  EXPECT_TRUE(split_screen(second.out, rest));
  EXPECT_EQ(rest, file_prompt + thanks_line);
  EXPECT_EQ(first_result.exit_status, 0) << describe_end(first_result);
  EXPECT_EQ(file_content(record), mara_sheet + "Toughness\n");
}

}  // namespace
