// Drives the real cardstow program through a pseudo-terminal as a person
// would: each answer is typed only once its prompt is on the screen, with
// the line editor's keys, or all at once ahead of the prompts.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

namespace {

using clock_type = std::chrono::steady_clock;

// How long the program may take to show a prompt, or to finish.
constexpr std::chrono::seconds patience{10};

// `text` with every "\r\n" the terminal writes turned back into "\n".
std::string without_carriage_returns(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      plain += text[i];
    }
  }
  return plain;
}

class TerminalTest : public testing::Test {
 protected:
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // The terminal the program is started on: a UTF-8 xterm, where it edits
  // the lines typed (when built with its line editor), or a dumb terminal,
  // where it reads the terminal's own lines.
  enum class terminal_kind { editing, plain };

  // Starts cardstow on a new pseudo-terminal, working in `directory`, with
  // every signal at its default action (SIGHUP ignored when
  // hang_up_ignored_) and none blocked.
  bool start(const std::string& directory, terminal_kind kind) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      signal(SIGPIPE, SIG_DFL);  // the test itself ignores it
      signal(SIGHUP, hang_up_ignored_ ? SIG_IGN : SIG_DFL);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      setenv("LC_ALL", "C.UTF-8", 1);
      setenv("TERM", kind == terminal_kind::editing ? "xterm" : "dumb", 1);
      if (chdir(directory.c_str()) == 0) {
        execl(CARDSTOW_BINARY, CARDSTOW_BINARY, static_cast<char*>(nullptr));
      }
      _exit(127);
    }
    return pid_ > 0;
  }

  // Reads what the terminal shows within `deadline`. Returns false when the
  // deadline passed or the terminal closed.
  bool read_some(clock_type::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - clock_type::now());
    if (left.count() <= 0) return false;
    pollfd fd{master_, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) return true;
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) return false;  // EIO: the program has closed the terminal
    screen_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  // Waits until `prompt` shows on the terminal after everything seen by the
  // last wait. False when it does not show in time.
  bool wait_for(const std::string& prompt) {
    const auto deadline = clock_type::now() + patience;
    std::size_t at;
    while ((at = screen_.find(prompt, seen_)) == std::string::npos) {
      if (!read_some(deadline)) return false;
    }
    seen_ = at + prompt.size();
    return true;
  }

  void type(const std::string& answer) { type_keys(answer + "\n"); }

  void type_keys(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()),
              static_cast<ssize_t>(keys.size()));
  }

  // Reads the terminal until the program closes it, then reaps the
  // program. Returns its exit status, or -1 when either took too long.
  int wait_for_exit() {
    const int status = wait_for_end();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Reads the terminal, if it is still open, until the program closes it,
  // then reaps the program. Returns its wait status; -1 when it took too
  // long.
  int wait_for_end() {
    const auto deadline = clock_type::now() + patience;
    while (master_ >= 0 && read_some(deadline)) {
    }
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (clock_type::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return status;
  }

  // Closes the terminal of a session that has ended, for the next one.
  void end_session() {
    if (master_ >= 0) close(master_);
    master_ = -1;
    screen_.clear();
    seen_ = 0;
  }

  // Closes the terminal as a closed window does: the program gets a hang-up.
  void hang_up() {
    close(master_);
    master_ = -1;
  }

  bool hang_up_ignored_ = false;  // as under nohup, for the next start
  pid_t pid_ = -1;
  int master_ = -1;
  std::string screen_;  // everything the terminal has shown
  std::size_t seen_ = 0;
};

// On a dumb terminal the lines come from the terminal's own line mode.
TEST_F(TerminalTest, EachPromptIsShownBeforeItsAnswerIsTyped) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(start(dir.path, terminal_kind::plain));
  struct step {
    std::string prompt;
    std::string answer;
  };
  const step steps[] = {
      {file_prompt, "pty.TXT"},
      {"Character Name: ", "Mara Voss"},
      {"Level: ", "ten"},
      {"Please enter a whole number from -2147483648 to 2147483647.\r\n"
       "Level: ",
       "12"},
      {"Strength: ", "6 7 5"},  // answers Perception and Endurance as well
      {"Perception: Endurance: Charisma: ", "4"},
      {"Intelligence: ", "8"},
      {"Agility: ", "9"},
      {"Luck: ", "3"},
      {"First Trait: ", "Fast Shot"},
      {"Second Trait: ", "Small Frame"},
      {"First Tag: ", "Guns"},
      {"Second Tag: ", "Lockpick"},
      {"Third Tag: ", "Speech"},
      {"How many Perks do you need to enter: ", "2"},
      {"Enter perk: ", "Toughness"},
      {"Enter perk: ", "Lead Belly"},
  };
  for (const step& s : steps) {
    ASSERT_TRUE(wait_for(s.prompt))
        << "the prompt \"" << s.prompt << "\" did not show within "
        << patience.count() << " s; the terminal shows:\n"
        << screen_.substr(seen_);
    type(s.answer);
  }
  ASSERT_EQ(wait_for_exit(), 0) << "the terminal shows:\n" << screen_;

  std::string rest;
  ASSERT_TRUE(split_screen(without_carriage_returns(screen_), rest));
  EXPECT_EQ(rest,
            file_prompt +
                "pty.TXT\n"
                "Character Name: Mara Voss\n"
                "Level: ten\n"
                "Please enter a whole number from -2147483648 to 2147483647.\n"
                "Level: 12\n"
                "Strength: 6 7 5\n"
                "Perception: Endurance: Charisma: 4\n"
                "Intelligence: 8\n"
                "Agility: 9\n"
                "Luck: 3\n"
                "First Trait: Fast Shot\n"
                "Second Trait: Small Frame\n"
                "First Tag: Guns\n"
                "Second Tag: Lockpick\n"
                "Third Tag: Speech\n"
                "How many Perks do you need to enter: 2\n"
                "Enter perk: Toughness\n"
                "Enter perk: Lead Belly\n" +
                stored_lines("pty.TXT"));
  EXPECT_EQ(file_content(dir.path + "/pty.TXT"),
            "Ironvale Scout Corps Personal Record\n\nName: Mara Voss\n"
            "Level: 12\n\nST: 6      IN: 8\nPE: 7      AG: 9\n"
            "EN: 5      LK: 3\nCH: 4\n\nTraits: Fast Shot\n"
            "        Small Frame\n\nTags:   Guns\n        Lockpick\n"
            "        Speech\n\nPerks:\nToughness\nLead Belly\n");
}

// The answers of a session that stores old.TXT, from the file name through
// the perk count; the record sheet they give.
const char* const session_answers[][2] = {
    {"Enter a file name followed by .TXT: ", "old.TXT"},
    {"Character Name: ", "Mara Voss"},
    {"Level: ", "12"},
    {"Strength: ", "6 7 5 4 8 9 3"},
    {"Luck: ", ""},  // the rest of the Luck line was already typed
    {"First Trait: ", "Fast Shot"},
    {"Second Trait: ", "Small Frame"},
    {"First Tag: ", "Guns"},
    {"Second Tag: ", "Lockpick"},
    {"Third Tag: ", "Speech"},
    {"How many Perks do you need to enter: ", "3"},
};
const std::string session_sheet =
    "Ironvale Scout Corps Personal Record\n\nName: Mara Voss\nLevel: 12\n\n"
    "ST: 6      IN: 8\nPE: 7      AG: 9\nEN: 5      LK: 3\nCH: 4\n\n"
    "Traits: Fast Shot\n        Small Frame\n\nTags:   Guns\n        Lockpick\n"
    "        Speech\n\nPerks:\n";

// A run cut short by Ctrl-C, a closed terminal or SIGTERM leaves an existing
// record as it was when it comes before the record sheet, and the sheet with
// every perk typed so far when it comes during the perks. So does a closed
// terminal whose hang-up the program ignores (nohup): its next read fails,
// and the run ends with exit status 1.
TEST_F(TerminalTest, InterruptionNeverLosesTheRecord) {
  enum class cut { ctrl_c, hang_up, sigterm, ignored_hang_up };
  struct interruption {
    cut how;
    int ends_by;           // the signal that ends the program; 0: it exits
    std::size_t answered;  // answers of session_answers typed first
    terminal_kind kind = terminal_kind::editing;
  };
  const std::string old_record = "an older record\n" + std::string(5000, 'x');
  const std::size_t all = std::size(session_answers);
  const interruption cases[] = {
      {cut::ctrl_c, SIGINT, 6},
      {cut::hang_up, SIGHUP, 6},
      {cut::sigterm, SIGTERM, 2},
      {cut::ctrl_c, SIGINT, all},
      {cut::hang_up, SIGHUP, all},
      {cut::sigterm, SIGTERM, all},
      {cut::ignored_hang_up, 0, 6},
      {cut::ignored_hang_up, 0, all},
      {cut::ignored_hang_up, 0, 6, terminal_kind::plain},
      {cut::ignored_hang_up, 0, all, terminal_kind::plain},
  };
  for (const interruption& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.how == cut::ignored_hang_up
                         ? std::string("ignored hang-up")
                         : "signal " + std::to_string(c.ends_by))
                 << " after " << c.answered << " answers"
                 << (c.kind == terminal_kind::plain ? ", plain terminal" : ""));
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string record = dir.path + "/old.TXT";
    std::ofstream(record, std::ios::binary) << old_record;
    hang_up_ignored_ = c.how == cut::ignored_hang_up;
    ASSERT_TRUE(start(dir.path, c.kind));
    for (std::size_t i = 0; i < c.answered; ++i) {
      ASSERT_TRUE(wait_for(session_answers[i][0])) << screen_.substr(seen_);
      if (i != 4) type(session_answers[i][1]);
    }
    std::string expected = old_record;
    if (c.answered == all) {
      // Each perk is in the file before the next one is asked.
      expected = session_sheet;
      for (const char* perk : {"Toughness", "Lead Belly"}) {
        ASSERT_TRUE(wait_for("Enter perk: ")) << screen_.substr(seen_);
        EXPECT_EQ(file_content(record), expected);
        type(perk);
        expected += std::string(perk) + "\n";
      }
      ASSERT_TRUE(wait_for("Enter perk: ")) << screen_.substr(seen_);
    } else {
      ASSERT_TRUE(wait_for(session_answers[c.answered][0]));
      EXPECT_EQ(file_content(record), old_record);
    }
    if (c.how == cut::ctrl_c) {
      ASSERT_EQ(write(master_, "\x03", 1), 1);
    }
    if (c.how == cut::hang_up || c.how == cut::ignored_hang_up) hang_up();
    if (c.how == cut::sigterm) kill(pid_, SIGTERM);
    const int status = wait_for_end();
    if (c.ends_by == 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
          << "wait status " << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.ends_by)
          << "wait status " << status;
    }
    EXPECT_EQ(file_content(record), expected);
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{"old.TXT"});
    termios modes{};
    if (master_ >= 0 && tcgetattr(master_, &modes) == 0) {
      // The terminal echoes and edits lines again, as it did at the start.
      const tcflag_t line_mode = ECHO | ICANON | ISIG;
      EXPECT_EQ(modes.c_lflag & line_mode, line_mode)
          << "terminal modes after the program ended: " << std::hex
          << modes.c_lflag;
    }
    end_session();
  }
}

// Keys of the line editor, as a terminal sends them.
const std::string left = "\x1b[D", right = "\x1b[C", up = "\x1b[A",
                  down = "\x1b[B", home = "\x1b[H", end = "\x1b[F",
                  delete_key = "\x1b[3~", backspace = "\x7f";
const std::string ctrl_a = "\x01", ctrl_d = "\x04", ctrl_e = "\x05",
                  ctrl_k = "\x0b", ctrl_u = "\x15", ctrl_w = "\x17";

#if CARDSTOW_HAS_LINE_EDITOR
#define SKIP_WITHOUT_LINE_EDITOR()
#else
#define SKIP_WITHOUT_LINE_EDITOR() \
  GTEST_SKIP() << "cardstow was built without its line editor"
#endif

// Each answer is edited with the keys of the line editor at a UTF-8
// terminal; the record holds the lines as edited, whole characters deleted,
// no escape sequence and no control character.
TEST_F(TerminalTest, EditedAnswersAreStoredAsTheScreenShowsThem) {
  SKIP_WITHOUT_LINE_EDITOR();
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(start(dir.path, terminal_kind::editing));
  struct step {
    std::string prompt;
    std::string keys;  // then Enter
  };
  const step steps[] = {
      {file_prompt, "edit.TXT"},
      {"Character Name: ", "Mara Vs" + left + "o" + right + "s"},
      {"Level: ", "e" + home + "t" + end + "n"},  // "ten": asked again
      {"Level: ", up + ctrl_a + delete_key + ctrl_e + backspace + backspace +
                      "132" + left + left + ctrl_d},  // "12"
      {"Strength: ", "6 7 5 4 8 9 3"},
      {"First Trait: ", "Fast Sh\u6f22ot" + left + left + backspace},
      {"Second Trait: ", "mall Frame" + ctrl_a + "S" + ctrl_e + "s"},
      {"First Tag: ", "Big Guns" + left + left + left + left + ctrl_u},
      {"Second Tag: ", "Lock junk" + ctrl_w + backspace + "pick "},
      {"Third Tag: ", up + up + down + home + "Big "},  // "Lockpick "
      {"How many Perks do you need to enter: ", "3"},
      {"Enter perk: ",
       "Tough junk" + left + left + left + left + left + ctrl_k + "ness"},
      {"Enter perk: ", "Lead\x1b[15~ Belly\x1b[1;5D"},  // F5, Ctrl-Left
  };
  for (const step& s : steps) {
    ASSERT_TRUE(wait_for(s.prompt)) << screen_.substr(seen_);
    type(s.keys);
  }
  ASSERT_TRUE(wait_for("Enter perk: ")) << screen_.substr(seen_);
  type_keys(ctrl_d);  // ends input on an empty line: no third perk
  ASSERT_EQ(wait_for_exit(), 0) << "the terminal shows:\n" << screen_;
  EXPECT_EQ(file_content(dir.path + "/edit.TXT"),
            "Ironvale Scout Corps Personal Record\n\nName: Mara Voss\n"
            "Level: 12\n\nST: 6      IN: 8\nPE: 7      AG: 9\n"
            "EN: 5      LK: 3\nCH: 4\n\nTraits: Fast Shot\n"
            "        Small Frames\n\nTags:   Guns\n        Lockpick \n"
            "        Big Lockpick \n\nPerks:\nToughness\nLead Belly\n");
}

// How often `text` occurs in `screen`.
std::size_t count_of(const std::string& text, const std::string& screen) {
  std::size_t count = 0;
  for (std::size_t at = screen.find(text); at != std::string::npos;
       at = screen.find(text, at + 1)) {
    ++count;
  }
  return count;
}

// Answers typed ahead of their prompts wait unseen for the editor: each
// shows once, after its prompt, and none is lost. They are typed a byte at a
// time so that some arrive while the program is between two lines, where
// the terminal must not echo them; that moment is brief, so the session
// runs several times.
TEST_F(TerminalTest, AnswersTypedAheadShowOnceAfterTheirPrompts) {
  SKIP_WITHOUT_LINE_EDITOR();
  std::string keys;
  for (const auto& answer : session_answers) {
    if (*answer[1] != '\0') keys += answer[1] + std::string("\n");
  }
  keys += "Toughness\nLead Belly\nFast Shot\n";
  for (int round = 1; round <= 5; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(start(dir.path, terminal_kind::editing));
    ASSERT_TRUE(wait_for(file_prompt)) << screen_.substr(seen_);
    for (const char key : keys) type_keys(std::string(1, key));
    ASSERT_EQ(wait_for_exit(), 0) << "the terminal shows:\n" << screen_;
    EXPECT_EQ(file_content(dir.path + "/old.TXT"),
              session_sheet + "Toughness\nLead Belly\nFast Shot\n");
    const std::string shown = without_carriage_returns(screen_);
    for (const char* answer :
         {"Mara Voss", "6 7 5 4 8 9 3", "Lockpick", "Lead Belly"}) {
      EXPECT_EQ(count_of(answer, shown), 1u) << answer << " in:\n" << shown;
    }
    EXPECT_EQ(count_of("Character Name: Mara Voss\n", shown), 1u) << shown;
    EXPECT_EQ(count_of("Enter perk: Lead Belly\n", shown), 1u) << shown;
    end_session();
  }
}

}  // namespace
