// The whole dialogue run in-process: console streams in memory, the record
// written to a file in a fresh temporary directory.
#include "app/dialogue.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "app/shown_name.h"
#include "console/answer_reading.h"
#include "platform.h"

namespace {

namespace fs = std::filesystem;

// A new, empty directory under the system's temporary directory.
fs::path fresh_directory() {
  std::random_device random;
  for (;;) {
    const fs::path dir = fs::temp_directory_path() /
                         ("cardstow-dialogue-" + std::to_string(random()));
    if (fs::create_directory(dir)) return dir;
  }
}

struct run_result {
  int status;
  std::string out;
  std::string err;
};

class DialogueTest : public testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    dir_ = fresh_directory();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(dir_);
  }

  static run_result run(const std::string& input,
                        bool output_is_terminal = false) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status =
        run_dialogue(in, out, err, {.output_is_terminal = output_is_terminal});
    return {status, out.str(), err.str()};
  }

  static std::string file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

 private:
  fs::path home_;
  fs::path dir_;
};

// Console output after the start-up screen, up to the thanks line.
std::string after_screen(const std::string& out) {
  std::ostringstream screen;
  show_title_screen(screen);
  EXPECT_EQ(out.substr(0, screen.str().size()), screen.str());
  return out.substr(screen.str().size());
}

const std::string all_prompts =
    "Character Name: Level: Strength: Perception: Endurance: Charisma: "
    "Intelligence: Agility: Luck: First Trait: Second Trait: First Tag: "
    "Second Tag: Third Tag: How many Perks do you need to enter: ";

TEST(ShowTitleScreen, SevenFramedLinesThenTwoEmpty) {
  std::ostringstream out;
  show_title_screen(out);
  std::istringstream lines(out.str());
  std::string line;
  for (int i = 1; i <= 7; ++i) {
    ASSERT_TRUE(std::getline(lines, line)) << "line " << i;
    EXPECT_EQ(line.size(), 70u) << "line " << i << ": " << line;
    EXPECT_EQ(line.substr(0, 8), "        ") << "line " << i;
    const std::string edges{line[8], line[69]};
    EXPECT_EQ(edges, i == 1 ? "/\\" : i == 7 ? "\\/" : "**") << "line " << i;
  }
  EXPECT_EQ(out.str().substr(0, 71),
            "        /" + std::string(60, '*') + "\\\n");
  EXPECT_NE(out.str().find("\n        *                Cardstow Roster Sheet "
                           "Keeper                *\n"),
            std::string::npos);
  EXPECT_NE(out.str().find("\n        *" + std::string(46, ' ') +
                           "Verson 1.0    *\n"),
            std::string::npos);
  EXPECT_EQ(out.str().substr(out.str().size() - 4), "/\n\n\n");
}

// Each class of character that is escaped, at its edges, and its neighbours
// that show as themselves.
TEST(ShownName, EscapesWhatCouldDriveTheTerminalOrHide) {
  struct shown_case {
    std::string name;
    std::string shown;
  };
  const shown_case cases[] = {
      {"hero.TXT", "hero.TXT"},
      {"\xD0\x9C\xD0\xB0\xD1\x80\xD0\xB0 h\xC3\xA9ros \xE6\xBC\xA2",
       "\xD0\x9C\xD0\xB0\xD1\x80\xD0\xB0 h\xC3\xA9ros \xE6\xBC\xA2"},
      // C0 controls, DEL and the backslash.
      {"\\ \t\n\r", "\\\\ \\t\\n\\r"},
      {std::string("\0\x01\x1b\x1f \x7e\x7f", 7),
       "\\x00\\x01\\x1b\\x1f ~\\x7f"},
      // C1 controls, U+0080 to U+009F; U+00A0 (no-break space) is a space.
      {"\xC2\x80\xC2\x9F\xC2\xA0", "\\u0080\\u009f\xC2\xA0"},
      // Invisible format characters and separators, and their neighbours.
      {"\xC2\xAC\xC2\xAD\xC2\xAE", "\xC2\xAC\\u00ad\xC2\xAE"},
      {"\xD8\x9B\xD8\x9C\xD8\x9D", "\xD8\x9B\\u061c\xD8\x9D"},
      {"\xD8\x80\xD8\x85\xDB\x9D\xDC\x8F\xE1\xA0\x8E",
       "\\u0600\\u0605\\u06dd\\u070f\\u180e"},
      {"\xE2\x80\x8A\xE2\x80\x8B\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\x90",
       "\xE2\x80\x8A\\u200b\\u200e\\u200f\xE2\x80\x90"},
      {"\xE2\x80\xA7\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAE\xE2\x80\xAF",
       "\xE2\x80\xA7\\u2028\\u2029\\u202e\xE2\x80\xAF"},
      {"\xE2\x81\xA0\xE2\x81\xA4\xE2\x81\xA6\xE2\x81\xAF\xE2\x81\xB0",
       "\\u2060\\u2064\\u2066\\u206f\xE2\x81\xB0"},
      {"\xEF\xBB\xBF\xEF\xBF\xB9\xEF\xBF\xBB\xEF\xBF\xBC",
       "\\ufeff\\ufff9\\ufffb\xEF\xBF\xBC"},
      {"\xF0\x91\x82\xBD\xF0\x9B\xB2\xA0\xF0\x9D\x85\xBA",
       "\\U000110bd\\U0001bca0\\U0001d17a"},
      {"\xF3\xA0\x80\x81\xF3\xA0\x80\xA0\xF3\xA0\x81\xBF\xF3\xA0\x82\x80",
       "\\U000e0001\\U000e0020\\U000e007f\xF3\xA0\x82\x80"},
      // Bytes that start no well-formed character, each on its own: past
      // U+10FFFF, overlong forms, a surrogate, a cut character.
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"\xF4\x90\x80\x80\xF5\x80\x80\x80",
       "\\xf4\\x90\\x80\\x80\\xf5\\x80\\x80\\x80"},
      {"\xC0\xAF\xC1\xBF\xE0\x9F\xBF\xF0\x8F\xBF\xBF",
       "\\xc0\\xaf\\xc1\\xbf\\xe0\\x9f\\xbf\\xf0\\x8f\\xbf\\xbf"},
      {"\xED\x9F\xBF\xED\xA0\x80", "\xED\x9F\xBF\\xed\\xa0\\x80"},
      {"\xE2\x80x\xFF\xC3", "\\xe2\\x80x\\xff\\xc3"},
  };
  // The Windows notation: the backslash as typed, <1B> and <U+200B>.
  const shown_case windows_cases[] = {
      {"sub\\x.TXT", "sub\\x.TXT"},
      {"a<b>c \t\r\x1b\x7f", "a<3C>b<3E>c <09><0D><1B><7F>"},
      {"\xC2\x85\xE2\x80\x8B\xF3\xA0\x81\x81 \xC2\xA0",
       "<U+0085><U+200B><U+E0041> \xC2\xA0"},
      {"\xC3\x28\xFF\xE2\x80", "<C3>(<FF><E2><80>"},
  };
  for (const shown_case& c : on_windows
                                 ? std::span<const shown_case>(windows_cases)
                                 : std::span<const shown_case>(cases)) {
    EXPECT_EQ(shown_name(c.name), c.shown) << "name: " << c.name;
  }
}

TEST_F(DialogueTest, TypicalRunStoresEveryAnswerWhereItBelongs) {
  const run_result r =
      run("mara.TXT\nMara Voss\n12\n6\n7\n5\n4\n8\n9\n3\nFast Shot\n"
          "Small Frame\nGuns\nLockpick\nSpeech\n2\nToughness\nLead Belly\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(after_screen(r.out),
            "Enter a file name followed by .TXT: " + all_prompts +
                "Enter perk: Enter perk: \n"
                "All this information has been stored in mara.TXT\n"
                "Thanks for using CARDSTOW.\n");
  EXPECT_EQ(
      file("mara.TXT"),
      file_bytes("Ironvale Scout Corps Personal Record\n\nName: Mara Voss\n"
                 "Level: 12\n\nST: 6      IN: 8\nPE: 7      AG: 9\n"
                 "EN: 5      LK: 3\nCH: 4\n\nTraits: Fast Shot\n"
                 "        Small Frame\n\nTags:   Guns\n        Lockpick\n"
                 "        Speech\n\nPerks:\nToughness\nLead Belly\n"));
}

// Answers whose lines are unusual still land in their own fields.
TEST_F(DialogueTest, AnswersNeverSpillIntoOneAnother) {
  struct spill_case {
    std::string answers;  // after the file name
    std::string expected_in_record;
  };
  const spill_case cases[] = {
      {"\n1\n2\n3\n4\n5\n6\n7\n8\nT1\n\nG1\nG2\nG3\n1\n\n",
       "Name: \nLevel: 1\n\nST: 2      IN: 6\nPE: 3      AG: 7\n"
       "EN: 4      LK: 8\nCH: 5\n\nTraits: T1\n        \n\nTags:   G1\n"
       "        G2\n        G3\n\nPerks:\n\n"},
      {std::string(5000, 'N') + "\n1 2 3 4 5 6 7 8 99 extra\n" +
           std::string(200, 'T') + "\nT2\nG1\nG2\nG3\n1 2 3\nPerk\n",
       "Name: " + std::string(29, 'N') +
           "\nLevel: 1\n\nST: 2      IN: 6\n"
           "PE: 3      AG: 7\nEN: 4      LK: 8\nCH: 5\n\nTraits: " +
           std::string(29, 'T') +
           "\n        T2\n\nTags:   G1\n        G2\n"
           "        G3\n\nPerks:\nPerk\n"},
  };
  for (const spill_case& c : cases) {
    const run_result r = run("rec.TXT\n" + c.answers);
    EXPECT_EQ(r.status, 0) << "answers: " << c.answers.substr(0, 80);
    EXPECT_EQ(file("rec.TXT"),
              file_bytes("Ironvale Scout Corps Personal Record\n\n" +
                         c.expected_in_record))
        << "answers: " << c.answers.substr(0, 80);
  }
}

TEST_F(DialogueTest, InvalidNumberIsAskedAgain) {
  const run_result r =
      run("n.TXT\nN\nlots\n2147483648\n5\n1\n1\n1\n1\n1\n12abc\n1\nA\nB\nC\nD\n"
          "E\n0\n");
  EXPECT_EQ(r.status, 0);
  const std::string refusal = std::string(invalid_number_message) + "\n";
  EXPECT_NE(after_screen(r.out).find("Level: " + refusal + "Level: " + refusal +
                                     "Level: Strength: "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Agility: Luck: " + refusal + "Luck: First Trait: "),
            std::string::npos)
      << r.out;
  EXPECT_NE(file("n.TXT").find(file_bytes("Level: 5\n")), std::string::npos);
  EXPECT_NE(file("n.TXT").find(file_bytes("AG: 12\nEN: 1      LK: 1\n")),
            std::string::npos)
      << file("n.TXT");
}

TEST_F(DialogueTest, EndOfInputDuringPerksStopsAsking) {
  const run_result r =
      run("p.TXT\nN\n1\n1\n1\n1\n1\n1\n1\n1\nA\nB\nC\nD\nE\n"
          "2147483647\nfirst\nsecond");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Enter perk: Enter perk: \nAll this"), std::string::npos)
      << r.out;
  const std::string record = file("p.TXT");
  EXPECT_EQ(record.substr(record.find("Perks:")),
            file_bytes("Perks:\nfirst\nsecond\n"));
}

TEST_F(DialogueTest, EndOfInputInQuestionnaireStillStoresRecord) {
  const run_result r = run("early.TXT\nMara\n4\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(after_screen(r.out),
            "Enter a file name followed by .TXT: " + all_prompts +
                "\nAll this information has been stored in early.TXT\n"
                "Thanks for using CARDSTOW.\n");
  EXPECT_NE(file("early.TXT").find(file_bytes("Name: Mara\nLevel: 4\n\nST: 0")),
            std::string::npos);
}

TEST_F(DialogueTest, UnusableFileIsReportedAndNothingAsked) {
  struct refusal_case {
    std::string input;
    std::string err_contains;
  };
  std::vector<refusal_case> cases = {
      {"\nName\n1\n", "no file name given"},
      {"", "no file name given"},
      {std::string(30, 'f') + "\nName\n1\n", "is longer than 29 bytes"},
      {std::string("x\0y.TXT\nName\n", 14), "holds a NUL byte"},
      {"missing/x.TXT\nName\n1\n", "No such file or directory"},
      {"./\nName\n1\n", std::strerror(directory_open_error)},
  };
  // A name is shown with what could hide a character or drive the terminal
  // escaped, in the platform's notation.
  const std::vector<refusal_case> escaped_names = {
      {std::string("\x1b\0y.TXT\n", 8), "\"\\x1b...\" holds a NUL byte"},
      {"no/\x1b[2J\r\t\\.TXT\n", "\"no/\\x1b[2J\\r\\t\\\\.TXT\""},
      {"no/h\xC3\xA9ros\xFF\xC3.TXT\n", "\"no/h\xC3\xA9ros\\xff\\xc3.TXT\""},
      {"no/\xE2\x80\xAEtxt.exe\x7F\n", "\"no/\\u202etxt.exe\\x7f\""},
      {"no/\xC2\x9B\xC0\xAF\xED\xA0\x80\n",
       "\"no/\\u009b\\xc0\\xaf\\xed\\xa0\\x80\""},
      {std::string(26, 'f') + "\x1b[2J\n",
       "\"" + std::string(26, 'f') + "\\x1b[2...\""},
  };
  const std::vector<refusal_case> escaped_names_on_windows = {
      {std::string("\x1b\0y.TXT\n", 8), "\"<1B>...\" holds a NUL byte"},
      {"no\\\x1b[2J\r\t.TXT\n", "\"no\\<1B>[2J<0D><09>.TXT\""},
      {"a<b.TXT\nName\n1\n", "file name \"a<3C>b.TXT\" "},
  };
  for (const refusal_case& c :
       on_windows ? escaped_names_on_windows : escaped_names) {
    cases.push_back(c);
  }
  const std::string full = "full\xE2\x80\xAE\x1b]2;x";
  if (!on_windows) {
    cases.push_back({"/dev/full\nName\n1\n", "No space left on device"});
    // A record that cannot be written is reported with its name escaped.
    fs::create_symlink("/dev/full", full);
    cases.push_back({full + "\nName\n1\n",
                     "cannot write the record to \"full\\u202e\\x1b]2;x\": "
                     "No space left on device"});
  } else {
    // Names Windows would change, or take for a device, as it opens them.
    for (const char* name : {"NUL.TXT", "aux.txt", "COM1.TXT", "hero.TXT.",
                             "hero.TXT ", "a:b.TXT"}) {
      cases.push_back({std::string(name) + "\nName\n1\n",
                       "file name \"" + std::string(name) + "\" "});
    }
  }
  for (const refusal_case& c : cases) {
    const run_result r = run(c.input);
    EXPECT_EQ(r.status, 1) << "input: " << c.input;
    EXPECT_NE(r.err.find(c.err_contains), std::string::npos)
        << "input: " << c.input << " err: " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "err: " << r.err;
    EXPECT_EQ(r.out.find("All this information"), std::string::npos)
        << "input: " << c.input;
    EXPECT_EQ(r.out.substr(r.out.size() - 27), "Thanks for using CARDSTOW.\n")
        << "input: " << c.input;
  }
  fs::remove(full);
  EXPECT_TRUE(fs::is_empty(fs::current_path()));
}

// The report line names the record as typed where a script may read it, and
// escaped where a person does.
TEST_F(DialogueTest, ReportLineEscapesTheNameOnlyAtATerminal) {
  const std::string name =
      "a\xE2\x80\x8B\xE2\x80\xAE"
      "b.TXT";
  for (const bool at_terminal : {false, true}) {
    const run_result r = run(name + "\nN\n", at_terminal);
    const std::string expected = !at_terminal ? name
                                 : on_windows ? "a<U+200B><U+202E>b.TXT"
                                              : "a\\u200b\\u202eb.TXT";
    EXPECT_NE(r.out.find("\nAll this information has been stored in " +
                         expected + "\nThanks"),
              std::string::npos)
        << (at_terminal ? "at a terminal: " : "piped: ") << r.out;
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

// Gives `bytes`, then fails the next read as the console input buffer does:
// the end of input, with the error kept in `error`.
class failing_input : public std::stringbuf {
 public:
  explicit failing_input(const std::string& bytes) : std::stringbuf(bytes) {}
  int error = 0;

 protected:
  int_type underflow() override {
    const int_type c = std::stringbuf::underflow();
    if (traits_type::eq_int_type(c, traits_type::eof())) error = EIO;
    return c;
  }
};

// A read error is no end of input: no later prompt, nothing written over
// before the record sheet, the perks so far kept during the perks, and the
// reason reported once.
TEST_F(DialogueTest, ReadErrorStopsTheQuestions) {
  const std::string sheet_answers =
      "r.TXT\nN\n1\n1\n1\n1\n1\n1\n1\n1\nA\nB\nC\nD\nE\n3\nfirst\n";
  const std::string name_prompt = "Enter a file name followed by .TXT: ";
  const std::string thanks = "Thanks for using CARDSTOW.\n";
  const std::string nothing_stored =
      "cardstow: cannot read standard input: Input/output error; nothing was "
      "stored\n";
  struct read_error_case {
    std::string before;  // console input before the read error
    int status;
    std::string out;  // after the start-up screen
    std::string err;
    std::string perks;  // the record from "Perks:" on; no record when empty
  };
  const read_error_case cases[] = {
      {"", 1, name_prompt + thanks, nothing_stored, ""},
      {"r.TXT\nMara\n12\n", 1,
       name_prompt + "Character Name: Level: Strength: " + thanks,
       nothing_stored, ""},
      {"r.TXT\nMara\n12\n1\n1\n1\n1\n1\n1\n1\nA\nB\nC\nD\nE\n", 1,
       name_prompt + all_prompts + thanks, nothing_stored, ""},
      {sheet_answers, 1,
       name_prompt + all_prompts + "Enter perk: Enter perk: " +
           "\nAll this information has been stored in r.TXT\n" + thanks,
       "cardstow: cannot read standard input: Input/output error\n",
       "Perks:\nfirst\n"},
  };
  for (const read_error_case& c : cases) {
    SCOPED_TRACE("input " + testing::PrintToString(c.before));
    std::ofstream("r.TXT", std::ios::binary) << "old record\n";
    failing_input buffer(c.before);
    std::istream in(&buffer);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(run_dialogue(in, out, err, {.read_error = &buffer.error}),
              c.status);
    EXPECT_EQ(after_screen(out.str()), c.out);
    EXPECT_EQ(err.str(), c.err);
    const std::string record = file("r.TXT");
    if (c.perks.empty()) {
      EXPECT_EQ(record, "old record\n");  // untouched
    } else {
      EXPECT_EQ(record.substr(record.find("Perks:")), file_bytes(c.perks));
    }
  }
}

TEST(ReportConsoleFailures, AFailedWriteIsOneLineAndFailsTheRun) {
  struct failure_case {
    int status;
    int write_error;
    int exit_status;
    std::string err;
  };
  const failure_case cases[] = {
      {0, 0, 0, ""},
      {1, 0, 1, ""},
      {0, ENOSPC, 1,
       "cardstow: cannot write standard output: No space left on device\n"},
      {1, EPIPE, 1, "cardstow: cannot write standard output: Broken pipe\n"},
  };
  for (const failure_case& c : cases) {
    std::ostringstream err;
    EXPECT_EQ(report_console_failures(c.status, c.write_error, err),
              c.exit_status)
        << "status " << c.status << ", error " << c.write_error;
    EXPECT_EQ(err.str(), c.err);
  }
}

}  // namespace
