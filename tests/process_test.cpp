// End-to-end tests of the real cardstow program: piped console input in a
// fresh working directory; console output, record file and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
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

// Whether the tests run under CI=true, where a missing need fails a test.
bool under_ci() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// Skips the running test, or fails it under CI=true, when `need` is missing.
#define NEED(available, need)                       \
  do {                                              \
    if (!(available)) {                             \
      if (under_ci()) FAIL() << "needs " << (need); \
      GTEST_SKIP() << "needs " << (need);           \
    }                                               \
  } while (false)

bool is_root() { return geteuid() == 0; }

// Runs the shell command `command` in `dir`: true when it succeeded.
bool shell(const std::string& dir, const std::string& command) {
  const std::string line =
      "cd '" + dir + "' && (" + command + ") >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

// One run against a record in a folder made by shell commands, and what the
// folder holds afterwards.
struct record_case {
  std::string label;
  std::string make;       // shell commands run in the folder first
  std::string need = {};  // what `make` needs, when it may be missing
  bool root = false;      // needs to run as root
  std::string wrap = {};  // shell words before the program: prlimit ...
  std::string name = "r.TXT";
  std::string perks = "1\nToughness\n";
  int status = 0;
  std::vector<std::string> err = {};  // parts of the one stderr line
  // The folder's entries afterwards and, for those named, their content.
  std::vector<std::string> entries = {"r.TXT"};
  std::vector<std::pair<std::string, std::string>> contents = {
      {"r.TXT", mara_sheet + "Toughness\n"}};
  std::string check = {};  // shell commands that must succeed afterwards
  // Not with sanitizers, whose runtime needs descriptors of its own.
  bool unsanitized = false;
};

void check_record_case(const record_case& c) {
  SCOPED_TRACE(c.label);
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  if (c.root && !is_root()) {
    if (under_ci()) ADD_FAILURE() << c.label << " needs root";
    std::printf("skipped \"%s\": needs root\n", c.label.c_str());
    return;
  }
  if (c.unsanitized && CARDSTOW_SANITIZED) {
    std::printf("skipped \"%s\": a build without sanitizers\n",
                c.label.c_str());
    return;
  }
  if (!shell(dir.path, c.make)) {
    if (under_ci() || c.need.empty())
      ADD_FAILURE() << "cannot make: " << c.make;
    std::printf("skipped \"%s\": needs %s\n", c.label.c_str(), c.need.c_str());
    return;
  }
  child_run run;
  run.directory = dir.path;
  run.input = bytes_source(c.name + "\n" + mara_answers + c.perks);
  if (!c.wrap.empty()) {
    run.args = {"-c", c.wrap + " \"$0\"", run.program};
    run.program = "/bin/sh";
  }
  const child_result r = run_child(run);
  EXPECT_EQ(r.exit_status, c.status) << describe_end(r) << "\n" << r.err;
  if (c.err.empty()) {
    EXPECT_EQ(r.err, "");
  } else {
    check_stderr(r.err, c.err);
  }
  EXPECT_EQ(entries_of(dir.path), c.entries);
  for (const auto& [name, content] : c.contents) {
    EXPECT_EQ(file_content(dir.path + "/" + name), content) << name;
  }
  if (!c.check.empty()) {
    EXPECT_TRUE(shell(dir.path, c.check)) << c.check;
  }
}

// Shell words that run the program as the user and group nobody (as root).
const std::string as_nobody =
    "setpriv --reuid=65534 --regid=65534 --clear-groups";

// A replaced record keeps what its name is, and every run that ends leaves
// either the old record or the whole new one under the name, nothing else.
TEST(CardstowRecord, ReplacingKeepsTheNameAndTheOldRecordUntilTheEnd) {
  const std::string old = "printf 'old\\n' >r.TXT";
  const std::string new_record = mara_sheet + "Toughness\n";
  const std::string enospc = std::strerror(ENOSPC);
  const record_case cases[] = {
      {.label = "mode",
       .make = old + " && chmod 640 r.TXT",
       .check = "[ \"$(stat -c %a r.TXT)\" = 640 ]"},
      {.label = "owner and group",
       .make = old + " && chown 65534:65534 r.TXT",
       .root = true,
       .check = "[ \"$(stat -c %u:%g r.TXT)\" = 65534:65534 ]"},
      {.label = "extended attribute and ACL",
       .make = old + " && setfattr -n user.note -v kept r.TXT && "
                     "setfacl -m u:65534:r r.TXT",
       .need = "setfattr and setfacl (attr, acl) and a file system with both",
       .check = "[ \"$(getfattr --only-values -n user.note r.TXT)\" = kept ] "
                "&& getfacl -cn r.TXT | grep -q '^user:65534:r--'"},
      {.label = "a symbolic link stays a link to the file replaced",
       .make = "printf 'old\\n' >real.TXT && ln -s real.TXT r.TXT",
       .entries = {"r.TXT", "real.TXT"},
       .contents = {{"real.TXT", new_record}},
       .check = "[ \"$(readlink r.TXT)\" = real.TXT ]"},
      {.label = "a second hard link: written in place, both names see it",
       .make = old + " && ln r.TXT twin.TXT",
       .entries = {"r.TXT", "twin.TXT"},
       .contents = {{"r.TXT", new_record}, {"twin.TXT", new_record}}},
      {.label = "a file bind-mounted on the name: written in place",
       .make = old + " && printf 'x\\n' >src && mount --bind src r.TXT",
       .need = "mount --bind",
       .root = true,
       .entries = {"r.TXT", "src"},
       .contents = {{"r.TXT", new_record}, {"src", new_record}},
       .check = "umount r.TXT && [ \"$(cat r.TXT)\" = old ]"},
      {.label = "a folder the run cannot create a file in: written in place",
       .make = old + " && chmod 666 r.TXT && chmod 555 .",
       .root = true,
       .wrap = as_nobody},
      {.label = "an owner the run cannot give a new file: written in place",
       .make = old + " && chmod 666 r.TXT && chmod 777 .",
       .root = true,
       .wrap = as_nobody,
       .check = "[ \"$(stat -c %u r.TXT)\" = 0 ]"},
      {.label = "what a killed run left is replaced, never read",
       .make = old + " && printf 'half' >.r.TXT.cardstow-new"},
      {.label = "a file-size limit: the old record stays, SIGXFSZ kills not",
       .make = old,
       .wrap = "prlimit --fsize=100",
       .status = 1,
       .err = {"cannot write the record to \"r.TXT\": " +
               std::string(std::strerror(EFBIG)) +
               "; its previous record is kept"},
       .contents = {{"r.TXT", "old\n"}}},
      {.label = "a file-size limit of 0 on a new name leaves no file",
       .make = "true",
       .wrap = "prlimit --fsize=0",
       .status = 1,
       .err = {"cannot write the record to \"r.TXT\": ", std::strerror(EFBIG)},
       .entries = {},
       .contents = {}},
      {.label = "a folder that cannot be opened to sync it: the file system",
       .make = "true",
       .wrap = "prlimit --nofile=4",
       .unsanitized = true},
      {.label = "a folder the run may not read: the file system is synced",
       .make = "chmod 0333 .",
       .wrap = is_root() ? as_nobody : ""},
      {.label = "/dev/stdin on a pipe is refused",
       .make = "true",
       .name = "/dev/stdin",
       .status = 1,
       .err = {"\"/dev/stdin\" is the file the answers are read from"},
       .entries = {},
       .contents = {}},
      {.label = "/proc/self/fd/0 on a pipe is refused",
       .make = "true",
       .name = "/proc/self/fd/0",
       .status = 1,
       .err = {"\"/proc/self/fd/0\" is the file the answers are read from"},
       .entries = {},
       .contents = {}},
      {.label = "standard output closed: stored, the write failure said",
       .make = old,
       .wrap = "exec >&-",
       .status = 1,
       .err = {std::string("cannot write standard output: ") +
               std::strerror(EBADF)}},
      {.label = "standard error closed: stored",
       .make = old,
       .wrap = "exec 2>&-"},
  };
  for (const record_case& c : cases) check_record_case(c);
}

// What a test does to a run while it waits at a question.
enum class meanwhile { nothing, signal, remove, replace };

// One run that something happens to once the file it writes exists (before
// the sheet) or holds the first perk, and what is left afterwards.
struct meanwhile_case {
  std::string label;
  meanwhile what;
  int sig = 0;           // meanwhile::signal: the signal sent
  std::string old = {};  // r.TXT before the run; none when empty
  bool twin = false;     // r.TXT has a second hard link, twin.TXT
  bool in_perks = true;  // after the first perk; else before the sheet
  bool reset = false;    // a read error follows
  int status = 0;        // exit status when not ended by `sig`
  std::string err = {};  // part of the one stderr line; none when empty
  std::vector<std::string> entries = {"r.TXT"};
  std::string record = mara_sheet + "Toughness\nLead Belly\n";  // in r.TXT
  bool empty_old = false;  // r.TXT is there before the run, empty
  std::string wrap = {};   // shell words before the program: prlimit ...
  std::string wait_for = "Toughness\n";  // in the perks: how the file ends
};

// Whether process `pid` waits in a read, as it does for the next answer.
bool reading(int pid) {
  const std::string call =
      file_content("/proc/" + std::to_string(pid) + "/syscall");
  return call.starts_with(std::to_string(SYS_read) + " ");
}

bool wait_until(const std::function<bool()>& ready) {
  for (int tries = 0; tries < 2000; ++tries) {
    if (ready()) return true;
    usleep(5000);
  }
  return false;
}

void check_meanwhile(const meanwhile_case& c) {
  SCOPED_TRACE(c.label);
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string name = dir.path + "/r.TXT";
  const bool existing = !c.old.empty() || c.empty_old;
  if (existing) write_file(name, c.old);
  if (c.twin) {
    ASSERT_EQ(link(name.c_str(), (dir.path + "/twin.TXT").c_str()), 0);
  }
  const std::string written =
      !existing || c.twin ? name : dir.path + "/.r.TXT.cardstow-new";
  int pid = 0;
  int pieces = 0;
  child_run run;
  run.directory = dir.path;
  run.started = [&](int started) { pid = started; };
  run.reset_input = c.reset;
  run.input = [&](std::string& chunk) {
    ++pieces;
    if (pieces == 1) {
      chunk = c.in_perks ? "r.TXT\n" + mara_answers + "2\nToughness\n"
                         : "r.TXT\nMara Voss\n";
      return true;
    }
    chunk.clear();  // a signalled run waits for more till it ends
    if (pieces > 2) return c.what == meanwhile::signal;
    const bool ready = wait_until([&] {
      const std::string now = file_content(written);
      return c.in_perks ? now.ends_with(c.wait_for) && reading(pid)
                        : access(written.c_str(), F_OK) == 0;
    });
    EXPECT_TRUE(ready) << "the run never got there";
    if (c.what == meanwhile::signal) kill(pid, c.sig);
    if (c.what == meanwhile::remove) unlink(name.c_str());
    if (c.what == meanwhile::replace) {
      write_file(dir.path + "/other", "another file\n");
      rename((dir.path + "/other").c_str(), name.c_str());
    }
    chunk = c.reset ? std::string()
            : c.in_perks
                ? "Lead Belly\n"
                : mara_answers.substr(10) + "2\nToughness\nLead Belly\n";
    return true;
  };
  run.time_limit = std::chrono::seconds{20};
  if (!c.wrap.empty()) {
    run.args = {"-c", "exec " + c.wrap + " \"$0\"", run.program};
    run.program = "/bin/sh";
  }
  const child_result r = run_child(run);
  if (c.what == meanwhile::signal) {
    EXPECT_EQ(r.signal, c.sig) << describe_end(r);
  } else {
    EXPECT_EQ(r.exit_status, c.status) << describe_end(r);
  }
  if (c.err.empty()) {
    EXPECT_EQ(r.err, "");
  } else {
    check_stderr(r.err, {c.err});
  }
  EXPECT_EQ(entries_of(dir.path), c.entries);
  if (!c.record.empty()) {
    EXPECT_EQ(file_content(name), c.record);
  }
}

// An ending signal, a removal or a replacement while the run waits: before
// the sheet the old record stays and no new file is left (but by SIGKILL);
// during the perks the sheet and the perks so far become the record, and
// the process ends by the signal itself. "Stored" is said only when the name
// leads to the record.
TEST(CardstowRecord, WhatHappensMeanwhileNeverLosesTheRecord) {
  const std::string old = "the old record\n";
  const std::string so_far = mara_sheet + "Toughness\n";
  const std::string moved =
      "\"r.TXT\" was removed or replaced while the record was written";
  const meanwhile_case cases[] = {
      {.label = "SIGTERM before the sheet",
       .what = meanwhile::signal,
       .sig = SIGTERM,
       .old = old,
       .in_perks = false,
       .record = old},
      {.label = "SIGINT before the sheet, new name",
       .what = meanwhile::signal,
       .sig = SIGINT,
       .in_perks = false,
       .entries = {},
       .record = ""},
      {.label = "SIGKILL before the sheet leaves the new file, named for it",
       .what = meanwhile::signal,
       .sig = SIGKILL,
       .old = old,
       .in_perks = false,
       .entries = {".r.TXT.cardstow-new", "r.TXT"},
       .record = old},
      {.label = "SIGTERM during the perks",
       .what = meanwhile::signal,
       .sig = SIGTERM,
       .old = old,
       .record = so_far},
      {.label = "SIGHUP during the perks, new name",
       .what = meanwhile::signal,
       .sig = SIGHUP,
       .record = so_far},
      {.label = "SIGQUIT during the perks, written in place",
       .what = meanwhile::signal,
       .sig = SIGQUIT,
       .old = old,
       .twin = true,
       .entries = {"r.TXT", "twin.TXT"},
       .record = so_far},
      {.label = "SIGTERM after a perk that could not be written",
       .what = meanwhile::signal,
       .sig = SIGTERM,
       .old = old,
       .record = old,
       .wrap = "prlimit --fsize=" + std::to_string(mara_sheet.size() + 4),
       .wait_for = "Toug"},
      {.label = "a replaced record removed meanwhile is put back whole",
       .what = meanwhile::remove,
       .old = old},
      {.label = "a record written in place and removed",
       .what = meanwhile::remove,
       .old = old,
       .twin = true,
       .status = 1,
       .err = moved,
       .entries = {"twin.TXT"},
       .record = ""},
      {.label = "a new name removed",
       .what = meanwhile::remove,
       .status = 1,
       .err = moved,
       .entries = {},
       .record = ""},
      {.label = "a new name replaced by another file, then a read error",
       .what = meanwhile::replace,
       .in_perks = false,
       .reset = true,
       .status = 1,
       .err = "cannot read standard input",
       .record = "another file\n"},
      {.label = "an empty record, then a read error",
       .what = meanwhile::nothing,
       .in_perks = false,
       .reset = true,
       .status = 1,
       .err = "cannot read standard input",
       .record = "",
       .empty_old = true},
      {.label = "an empty record written in place, then a read error",
       .what = meanwhile::nothing,
       .twin = true,
       .in_perks = false,
       .reset = true,
       .status = 1,
       .err = "cannot read standard input",
       .entries = {"r.TXT", "twin.TXT"},
       .record = "",
       .empty_old = true},
  };
  for (const meanwhile_case& c : cases) check_meanwhile(c);
}

// File systems mounted on `dir`/m for the length of a test, as root:
// `mount` (shell commands run in `dir`) makes and mounts them. At the end
// m and t (an overlay's layers) are unmounted and the loop devices of `dir`/img
// detached.
struct mounted_file_system {
  std::string dir;
  bool ok;

  mounted_file_system(const std::string& folder, const std::string& mount)
      : dir(folder), ok(shell(dir, "mkdir m && " + mount)) {}
  ~mounted_file_system() {
    shell(dir,
          "umount m; umount t; for d in $(losetup -nO NAME -j img); do "
          "losetup -d $d; done; true");
  }
  mounted_file_system(const mounted_file_system&) = delete;
  mounted_file_system& operator=(const mounted_file_system&) = delete;
};

// What a file shows of its metadata: mode, owner, group and every extended
// attribute with its value, in the order of their names.
std::string metadata_of(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "missing";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%o", st.st_mode & 07777);
  std::vector<std::string> shown = {std::string(mode) + " " +
                                    std::to_string(st.st_uid) + ":" +
                                    std::to_string(st.st_gid)};
  char names[4096];
  const ssize_t size = listxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < size;
       at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t length =
        getxattr(path.c_str(), names + at, value, sizeof value);
    shown.push_back(std::string(names + at) + "=" +
                    std::string(value, static_cast<std::size_t>(
                                           std::max<ssize_t>(length, 0))));
  }
  std::sort(shown.begin() + 1, shown.end());
  return testing::PrintToString(shown);
}

// `old DIR [fat]` makes DIR/HERO.TXT, an old record of mode 640, owned by
// nobody, with an ACL and an extended attribute; with "fat", what the file
// system cannot keep is left as it is.
const std::string make_old_record =
    "old() { f=$1/HERO.TXT; printf 'the old record\\n' >$f || return 1; "
    "chmod 640 $f && chown 65534:65534 $f && setfacl -m u:nobody:r $f && "
    "setfattr -n user.note -v kept "
    "$f || [ \"$2\" = fat ]; }; ";

// A file system a player keeps records on, and how to mount one on m with
// an old record in it.
struct file_system_kind {
  std::string label;
  std::string mount;  // shell commands, after make_old_record
  std::string need;
  bool any_case = false;  // names match whatever their case
};

// An existing record replaced by a run the same way on every file system:
// the new record under the one entry of its name (on FAT file systems,
// hero.TXT names HERO.TXT, in either spelling), exit 0, the report line, no
// new file left, the old file replaced rather than written over, and the
// mode, owner and extended attributes that the file system keeps kept. What it
// cannot keep is no reason to refuse. exFAT and vfat are mounted through FUSE,
// as this kernel has drivers for neither, on a block device as a stick is:
// then FUSE has done with a file renamed over (hidden meanwhile as
// .fuse_hidden...) when the run's close of it returns.
TEST(CardstowRecord, ReplacesTheSameWayOnEveryFileSystem) {
  NEED(is_root(), "root, to mount file systems");
  const std::string loop = "mount -o loop img m && old m";
  const std::string layers =
      "mkdir t/l t/u t/w && old t/l && mount -t overlay overlay "
      "-o lowerdir=t/l,upperdir=t/u,workdir=t/w m";
  const file_system_kind kinds[] = {
      {"ext4", "truncate -s 32M img && mkfs.ext4 -q img && " + loop,
       "mkfs.ext4 (e2fsprogs) and a loop device"},
      {"xfs", "truncate -s 320M img && mkfs.xfs -q img && " + loop,
       "mkfs.xfs (xfsprogs) and a loop device"},
      {"btrfs", "truncate -s 128M img && mkfs.btrfs -q img && " + loop,
       "mkfs.btrfs (btrfs-progs) and a loop device"},
      {"tmpfs", "mount -t tmpfs tmpfs m && old m", "a tmpfs mount"},
      {"overlayfs, the record in a lower layer, upper on tmpfs",
       "mkdir t && mount -t tmpfs tmpfs t && " + layers, "an overlay mount"},
      {"overlayfs, upper on ext4",
       "mkdir t && truncate -s 32M img && mkfs.ext4 -q img && "
       "mount -o loop img t && mkdir t/l t/u t/w && mount -t overlay overlay "
       "-o lowerdir=t/l,upperdir=t/u,workdir=t/w m && old m",
       "mkfs.ext4 and an overlay mount"},
      {"exFAT",
       "truncate -s 8M img && mkfs.exfat img && "
       "mount.exfat-fuse $(losetup -f --show img) m && old m fat",
       "mkfs.exfat (exfatprogs) and mount.exfat-fuse (exfat-fuse)", true},
      {"vfat",
       "truncate -s 16M img && mkfs.vfat img && d=$(losetup -f --show img) "
       "&& fusefat -o rw+,blkdev,fsname=$d $d m && old m fat",
       "mkfs.vfat (dosfstools) and fusefat", true},
  };
  for (const file_system_kind& kind : kinds) {
    SCOPED_TRACE(kind.label);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    mounted_file_system mounted(dir.path, make_old_record + kind.mount);
    if (!mounted.ok) {
      if (under_ci()) ADD_FAILURE() << "cannot mount: " << kind.mount;
      std::printf("skipped \"%s\": needs %s\n", kind.label.c_str(),
                  kind.need.c_str());
      continue;
    }
    const std::string m = dir.path + "/m/";
    const std::string before = metadata_of(m + "HERO.TXT");
    const std::string name = kind.any_case ? "hero.TXT" : "HERO.TXT";
    struct stat was {};
    stat((m + name).c_str(), &was);
    const child_result r =
        run_cardstow(m, name + "\n" + mara_answers + "1\nToughness\n");
    EXPECT_EQ(r.exit_status, 0) << describe_end(r) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.ends_with(stored_lines(name))) << r.out;
    std::vector<std::string> left = entries_of(m);
    std::erase(left, "lost+found");
    EXPECT_EQ(left.size(), 1u) << testing::PrintToString(left);
    if (left.size() != 1) continue;
    EXPECT_TRUE(left[0] == name || left[0] == "HERO.TXT") << left[0];
    const std::string record = mara_sheet + "Toughness\n";
    EXPECT_EQ(file_content(m + name), record);
    // A spelling never looked up before: FUSE's kernel side keeps for a
    // second what each spelling led to, where a FAT driver would match
    // names whatever their case.
    if (kind.any_case) {
      EXPECT_EQ(file_content(m + "Hero.txt"), record);
    }
    EXPECT_EQ(metadata_of(m + left[0]), before);
    // Replaced, not written over: the name leads to another file.
    struct stat now {};
    stat((m + name).c_str(), &now);
    EXPECT_NE(now.st_ino, was.st_ino) << "written in place";
  }
}

// A full disk during the perks: the old record stays whole, the new file
// goes, and the message says the old record is kept.
TEST(CardstowRecord, AFullDiskKeepsTheOldRecord) {
  NEED(is_root(), "root, to mount a small tmpfs");
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string m = dir.path + "/m";
  ASSERT_TRUE(shell(dir.path, "mkdir m"));
  NEED(shell(dir.path, "mount -t tmpfs -o size=8k tmpfs m"), "a tmpfs mount");
  const std::string old(4096, 'o');
  write_file(m + "/old.TXT", old);
  shell(m, "dd if=/dev/zero of=fill bs=1k");
  std::string perks = "200\n";
  for (int i = 0; i < 200; ++i) perks += "A perk of twenty-eight bytes\n";
  const child_result r = run_cardstow(m, "old.TXT\n" + mara_answers + perks);
  EXPECT_EQ(r.exit_status, 1) << describe_end(r);
  check_stderr(r.err, {"cannot write the record to \"old.TXT\": " +
                       std::string(std::strerror(ENOSPC)) +
                       "; its previous record is kept"});
  EXPECT_EQ(r.out.find("stored"), std::string::npos);
  EXPECT_EQ(entries_of(m), (std::vector<std::string>{"fill", "old.TXT"}));
  EXPECT_EQ(file_content(m + "/old.TXT"), old);
  shell(dir.path, "umount m");
}

// A power cut while perks are typed, and one after the report line: a copy
// of a loop-mounted ext4 image is what the disk held. The first holds the
// old record, the second the new one. Commits every second, so that what a
// run leaves to writeback reaches the image quickly.
TEST(CardstowRecord, APowerCutLeavesTheOldOrTheNewRecord) {
  NEED(is_root(), "root, to mount a file system image");
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  mounted_file_system image(dir.path,
                            "truncate -s 32M img && mkfs.ext4 -q img && mount "
                            "-o loop,commit=1 img m");
  NEED(image.ok, "mkfs.ext4 and a loop device");
  const std::string m = dir.path + "/m";
  write_file(m + "/r.TXT", "the old record\n");
  ASSERT_TRUE(shell(m, "sync"));
  int pieces = 0;
  child_run run;
  run.directory = m;
  run.input = [&](std::string& chunk) {
    if (++pieces == 1) {
      chunk = "r.TXT\n" + mara_answers + "2\nToughness\n";
      return true;
    }
    if (pieces > 2) return false;
    EXPECT_TRUE(wait_until([&] {
      return file_content(m + "/.r.TXT.cardstow-new").ends_with("Toughness\n");
    }));
    usleep(2500000);  // two commits
    EXPECT_TRUE(shell(dir.path, "cp img cut-in-perks"));
    chunk = "Lead Belly\n";
    return true;
  };
  const child_result r = run_child(run);
  EXPECT_EQ(r.exit_status, 0) << describe_end(r);
  ASSERT_TRUE(shell(dir.path, "cp img cut-after"));
  // Cut during the perks, the new file is left, named for the record.
  struct cut {
    std::string copy, record;
    std::vector<std::string> entries;
  };
  const cut cuts[] = {{"cut-in-perks",
                       "the old record\n",
                       {".r.TXT.cardstow-new", "lost+found", "r.TXT"}},
                      {"cut-after",
                       mara_sheet + "Toughness\nLead Belly\n",
                       {"lost+found", "r.TXT"}}};
  for (const auto& [copy, record, entries] : cuts) {
    SCOPED_TRACE(copy);
    ASSERT_TRUE(shell(dir.path, "mkdir c && mount -o loop " + copy + " c"));
    EXPECT_EQ(file_content(dir.path + "/c/r.TXT"), record);
    EXPECT_EQ(entries_of(dir.path + "/c"), entries);
    shell(dir.path, "umount c && rmdir c");
  }
}

// A FIFO whose reader is slow: each write waits for room, so the reader gets
// the whole record, never a record cut by EAGAIN.
TEST(CardstowRecord, ASlowReaderGetsTheWholeRecord) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string fifo = dir.path + "/r.TXT";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Read and write ends of the test's own: the run's open finds a reader,
  // and the reader no end of input before the run writes.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const int keeper = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_TRUE(reader >= 0 && keeper >= 0);
  fcntl(reader, F_SETFL, 0);
  std::string perks = "20000\n";
  std::string record = mara_sheet;
  for (int i = 0; i < 20000; ++i) {
    perks += "Perk " + std::to_string(i) + "\n";
    record += "Perk " + std::to_string(i) + "\n";
  }
  std::string got;
  std::thread slow([&] {
    usleep(300000);
    char block[4096];
    while (got.size() < record.size()) {
      const ssize_t n = read(reader, block, sizeof block);
      if (n <= 0) break;
      got.append(block, static_cast<std::size_t>(n));
    }
  });
  const child_result r =
      run_cardstow(dir.path, "r.TXT\n" + mara_answers + perks);
  close(keeper);
  slow.join();
  close(reader);
  EXPECT_EQ(r.exit_status, 0) << describe_end(r) << r.err;
  EXPECT_EQ(got.size(), record.size());
  EXPECT_TRUE(got == record) << "the record read differs";
}

// A signal while the record is written waits for what is being written:
// strace sends it at one system call, found in a first run, and the record
// then holds whole lines only, and the run ends by the signal. The perk's
// write fails with EINTR first, as a write to a slow device can, so the
// line takes two writes. One as the new file is made waits until the file
// is guarded, and the file is removed.
TEST(CardstowRecord, ASignalWhileWritingLeavesWholeLines) {
  if (CARDSTOW_SANITIZED) {
    GTEST_SKIP() << "needs a build without sanitizers (they cannot run "
                    "under strace)";
  }
  NEED(std::system("strace -V >/dev/null 2>&1") == 0, "strace");
  struct signal_case {
    std::string label;
    std::string call;    // the system call the signal comes at
    std::string marker;  // in its strace line: which one of them
    std::string inject;  // more of strace's inject= for it
    std::string record;  // r.TXT afterwards
  };
  const std::string whole = mara_sheet + "Toughness\nLead Belly\n";
  const signal_case cases[] = {
      {"the sheet's 8th line", "write", "\"CH: 4\\n\"", "", mara_sheet},
      {"a perk line, interrupted", "write", "\"Lead Belly\\n\"", ":error=EINTR",
       whole},
      {"the rename at the end", "rename", "cardstow-new", "", whole},
      // Made, the new file is removed: its open is part of the hold.
      {"the new file's open", "openat", "cardstow-new", "", "the old record\n"},
  };
  for (const signal_case& c : cases) {
    SCOPED_TRACE(c.label);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    // Which call of the run it is: counted in a first run.
    write_file(dir.path + "/r.TXT", "the old record\n");
    child_run count;
    count.directory = dir.path;
    count.input =
        bytes_source("r.TXT\n" + mara_answers + "2\nToughness\nLead Belly\n");
    count.program = "/usr/bin/strace";
    count.args = {
        "-qq",          "-e", "trace=" + c.call, "-o", dir.path + "/log",
        CARDSTOW_BINARY};
    ASSERT_EQ(run_child(count).exit_status, 0);
    std::ifstream log(dir.path + "/log");
    int calls = 0;
    int at = 0;
    for (std::string line; std::getline(log, line) && at == 0;) {
      if (line.starts_with(c.call + "(")) ++calls;
      if (line.find(c.marker) != std::string::npos) at = calls;
    }
    ASSERT_GT(at, 0) << "no " << c.marker << " in the strace log";
    write_file(dir.path + "/r.TXT", "the old record\n");
    std::remove((dir.path + "/log").c_str());
    child_run run = count;
    run.args = {"-qq",
                "-o",
                "/dev/null",
                "-e",
                "trace=" + c.call,
                "-e",
                "inject=" + c.call + c.inject +
                    ":signal=TERM:when=" + std::to_string(at),
                CARDSTOW_BINARY};
    const child_result r = run_child(run);
    EXPECT_EQ(r.signal, SIGTERM) << describe_end(r);
    EXPECT_EQ(file_content(dir.path + "/r.TXT"), c.record);
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{"r.TXT"});
  }
}

}  // namespace
