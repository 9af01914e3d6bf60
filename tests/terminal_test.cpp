// Drives the real cardstow program through a pseudo-terminal as a person
// would: each answer is typed only once its prompt is on the screen, with
// the line editor's keys, or all at once ahead of the prompts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "test_needs.h"

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

  // Starts cardstow on a new pseudo-terminal, working in `directory`, in
  // the locale `locale` (nullptr: none chosen, LC_ALL, LC_CTYPE, LANG unset),
  // with every signal at its default action (SIGHUP ignored when
  // hang_up_ignored_, SIGINT when ignore_interrupt_) and none blocked; its
  // standard output is `output` instead when that is not -1.
  bool start(const std::string& directory, terminal_kind kind,
             const char* locale = "C.UTF-8", int output = -1) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (output != -1 && dup2(output, 1) != 1) _exit(127);
      signal(SIGPIPE, SIG_DFL);  // the test itself ignores it
      signal(SIGHUP, hang_up_ignored_ ? SIG_IGN : SIG_DFL);
      signal(SIGINT, ignore_interrupt_ ? SIG_IGN : SIG_DFL);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) unsetenv(name);
      if (locale != nullptr) setenv("LC_ALL", locale, 1);
      setenv("TERM", kind == terminal_kind::editing ? "xterm" : "dumb", 1);
      if (chdir(directory.c_str()) == 0) {
        execl(CARDSTOW_BINARY, CARDSTOW_BINARY, static_cast<char*>(nullptr));
      }
      _exit(127);
    }
    return pid_ > 0;
  }

  // Starts cardstow at an editing terminal in `directory` as a shell with
  // job control does: in a process group of its own in the foreground, its
  // parent in the same session, so that Ctrl-Z stops it. The parent shows
  // "[job PID]" at the start and "[stopped]" whenever the program stops,
  // and ends with its exit status (128 and the signal when one ended it).
  bool start_as_job(const std::string& directory) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ != 0) return pid_ > 0;
    signal(SIGTTOU, SIG_IGN);
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      tcsetpgrp(0, getpid());
      signal(SIGTTOU, SIG_DFL);
      setenv("LC_ALL", "C.UTF-8", 1);
      setenv("TERM", "xterm", 1);
      if (chdir(directory.c_str()) == 0) {
        execl(CARDSTOW_BINARY, CARDSTOW_BINARY, static_cast<char*>(nullptr));
      }
      _exit(127);
    }
    setpgid(job, job);
    const std::string started = "[job " + std::to_string(job) + "]\n";
    if (write(1, started.data(), started.size()) < 0) _exit(126);
    int status = 0;
    while (waitpid(job, &status, WUNTRACED | WCONTINUED) == job) {
      if (WIFSTOPPED(status) && write(1, "[stopped]\n", 10) < 0) _exit(126);
      if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
      if (WIFSIGNALED(status)) _exit(128 + WTERMSIG(status));
    }
    _exit(125);
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

  // Types a character the editor never takes into a line (U+0085), whose
  // bell it rings once it has drawn every key typed before, and waits for
  // that bell: however slow the program, the screen is then complete.
  bool wait_until_drawn() {
    type_keys("\u0085");
    return wait_for("\a");
  }

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

  // Reaps the program without reading the terminal: 0 and its wait status
  // in `status` once it has ended, -1 when it took too long.
  int reap(int& status) {
    const auto deadline = clock_type::now() + patience;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (clock_type::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return 0;
  }

  // Types `keys` as the last ones of a run that then ends with status 0, and
  // returns what of them the program left unread on the terminal, for the
  // shell: the test plays the shell by holding the terminal open.
  std::string keys_left_for_the_shell(const std::string& keys) {
    const int shell_side =
        open(ptsname(master_), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(shell_side, 0);
    type_keys(keys);
    EXPECT_TRUE(wait_for(thanks_line.substr(0, thanks_line.size() - 1)))
        << screen_.substr(seen_);
    int status = 0;
    EXPECT_EQ(reap(status), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    char unread[16] = {};
    const ssize_t got = read(shell_side, unread, sizeof unread);
    close(shell_side);
    // All of the program's output, up to the end of the terminal (EIO once
    // no one has it open), however slowly the kernel passes it on.
    const auto deadline = clock_type::now() + patience;
    while (read_some(deadline)) {
    }
    return std::string(unread, got > 0 ? static_cast<std::size_t>(got) : 0);
  }

  // Checks that the terminal's modes are those of a new terminal, as the
  // program found them.
  void expect_modes_as_found() {
    int other_master = -1, other_slave = -1;
    ASSERT_EQ(openpty(&other_master, &other_slave, nullptr, nullptr, nullptr),
              0);
    termios fresh{}, modes{};
    ASSERT_EQ(tcgetattr(other_master, &fresh), 0);
    close(other_slave);
    close(other_master);
    ASSERT_EQ(tcgetattr(master_, &modes), 0);
    EXPECT_EQ(modes.c_lflag, fresh.c_lflag) << std::hex << "local modes";
    EXPECT_EQ(modes.c_iflag, fresh.c_iflag) << std::hex << "input modes";
    EXPECT_EQ(modes.c_oflag, fresh.c_oflag) << std::hex << "output modes";
    EXPECT_EQ(modes.c_cflag, fresh.c_cflag) << std::hex << "control modes";
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

  bool ignore_interrupt_ = false;  // the program starts with SIGINT ignored
  bool hang_up_ignored_ = false;   // as under nohup, for the next start
  pid_t pid_ = -1;
  int master_ = -1;
  std::string screen_;  // everything the terminal has shown
  std::size_t seen_ = 0;
};

// On a dumb terminal each key is echoed as typed, after its prompt.
TEST_F(TerminalTest, EachPromptIsShownBeforeItsAnswerIsTyped) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(start(dir.path, terminal_kind::plain));
  struct step {
    std::string prompt;
    std::string answer;
  };
  const step steps[] = {
      {file_prompt, "p\u200bty.TXT"},
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
  // Keys typed after the last answer are left for the shell.
  EXPECT_EQ(keys_left_for_the_shell("ls\n"), "ls\n");
  expect_modes_as_found();

  // The keys typed after the last answer wait unseen for the shell.
  const std::string shown = without_carriage_returns(screen_);
  std::string rest;
  ASSERT_TRUE(split_screen(shown, rest));
  EXPECT_EQ(rest,
            file_prompt +
                "p\u200bty.TXT\n"
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
                stored_lines("p\\u200bty.TXT"));
  EXPECT_EQ(file_content(dir.path + "/p\u200bty.TXT"),
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
// every perk typed so far when it comes during the perks; a file the run
// made and stored nothing in is gone. So does a closed terminal whose hang-up
// the program ignores (nohup): its next read fails, and the run ends with
// exit status 1.
TEST_F(TerminalTest, InterruptionNeverLosesTheRecord) {
  enum class cut { ctrl_c, hang_up, sigterm, sigusr1, ignored_hang_up };
  struct interruption {
    cut how;
    int ends_by;           // the signal that ends the program; 0: exit 1
    std::size_t answered;  // answers of session_answers typed first
    bool existing = true;  // old.TXT is there before the run
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
      {cut::sigusr1, SIGUSR1, 6},
      // A file the run made is gone when the run stored nothing in it.
      {cut::ctrl_c, SIGINT, 6, false},
      {cut::hang_up, SIGHUP, 2, false},
      {cut::sigterm, SIGTERM, 1, false},
      {cut::ctrl_c, SIGINT, all, false},
      {cut::ignored_hang_up, 0, 6},
      {cut::ignored_hang_up, 0, all},
      {cut::ignored_hang_up, 0, 6, true, terminal_kind::plain},
      {cut::ignored_hang_up, 0, all, true, terminal_kind::plain},
      {cut::ignored_hang_up, 0, 2, false},
  };
  for (const interruption& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.how == cut::ignored_hang_up
                         ? std::string("ignored hang-up")
                         : "signal " + std::to_string(c.ends_by))
                 << " after " << c.answered << " answers, "
                 << (c.existing ? "existing" : "new") << " file"
                 << (c.kind == terminal_kind::plain ? ", plain terminal" : ""));
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string record = dir.path + "/old.TXT";
    if (c.existing) std::ofstream(record, std::ios::binary) << old_record;
    hang_up_ignored_ = c.how == cut::ignored_hang_up;
    ASSERT_TRUE(start(dir.path, c.kind));
    for (std::size_t i = 0; i < c.answered; ++i) {
      ASSERT_TRUE(wait_for(session_answers[i][0])) << screen_.substr(seen_);
      if (i != 4) type(session_answers[i][1]);
    }
    std::string expected = c.existing ? old_record : "";
    if (c.answered == all) {
      // Each perk is in the file before the next one is asked: the new file
      // beside an existing record, which keeps its name till the end.
      const std::string written =
          c.existing ? dir.path + "/.old.TXT.cardstow-new" : record;
      expected = session_sheet;
      for (const char* perk : {"Toughness", "Lead Belly"}) {
        ASSERT_TRUE(wait_for("Enter perk: ")) << screen_.substr(seen_);
        if (c.existing) {
          EXPECT_EQ(file_content(record), old_record);
        }
        EXPECT_EQ(file_content(written), expected);
        type(perk);
        expected += std::string(perk) + "\n";
      }
      ASSERT_TRUE(wait_for("Enter perk: ")) << screen_.substr(seen_);
    } else {
      ASSERT_TRUE(wait_for(session_answers[c.answered][0]));
      EXPECT_EQ(file_content(record), expected);
    }
    if (c.how == cut::ctrl_c) {
      ASSERT_EQ(write(master_, "\x03", 1), 1);
    }
    if (c.how == cut::hang_up || c.how == cut::ignored_hang_up) hang_up();
    if (c.how == cut::sigterm) kill(pid_, SIGTERM);
    if (c.how == cut::sigusr1) kill(pid_, SIGUSR1);
    const int status = wait_for_end();
    if (c.ends_by == 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
          << "wait status " << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.ends_by)
          << "wait status " << status;
    }
    EXPECT_EQ(file_content(record), expected);
    const bool kept = c.existing || c.answered == all;
    EXPECT_EQ(entries_of(dir.path),
              std::vector<std::string>(kept ? 1 : 0, "old.TXT"));
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

// Each answer is edited with the keys of the line editor at a UTF-8
// terminal; the record holds the lines as edited, whole characters deleted,
// no escape sequence and no control character.
TEST_F(TerminalTest, EditedAnswersAreStoredAsTheScreenShowsThem) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(start(dir.path, terminal_kind::editing));
  struct step {
    std::string prompt;
    std::string keys;  // then Enter
  };
  const step steps[] = {
      {file_prompt, "edit.TXT"},
      // A byte that is no UTF-8 is dropped; Ctrl-D deletes under the cursor.
      {"Character Name: ",
       "Ma\xFFra Vxs" + left + left + ctrl_d + "o" + right + "s"},
      {"Level: ", "e" + home + "t" + end + "n"},  // "ten": asked again
      {"Level: ", up + ctrl_a + delete_key + ctrl_e + backspace + backspace +
                      "132" + left + left + ctrl_d},  // "12"
      {"Strength: ", "6 7 5 4 8 9 3"},
      {"First Trait: ", "Fast Sh\u6f22ot" + left + left + backspace},
      // Ctrl-D at the end of a line leaves it as it is.
      {"Second Trait: ", "mall Frame" + ctrl_a + "S" + ctrl_e + ctrl_d + "s"},
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
    if (s.prompt == "Strength: ") {
      // A resize, and a resumption, at a prompt neither end nor hold the run.
      kill(pid_, SIGWINCH);
      kill(pid_, SIGCONT);
    }
    type(s.keys);
  }
  ASSERT_TRUE(wait_for("Enter perk: ")) << screen_.substr(seen_);
  // Ctrl-D ends input on an empty line: no third perk. The keys typed with
  // it are left for the shell; Enter comes as CR or LF, as the modes of the
  // moment mapped it.
  const std::string unread = keys_left_for_the_shell(ctrl_d + "ls\r");
  EXPECT_TRUE(unread == "ls\r" || unread == "ls\n") << unread;
  expect_modes_as_found();
  std::string rest;
  EXPECT_TRUE(split_screen(without_carriage_returns(screen_), rest));
  EXPECT_EQ(screen_.find("Interrupted system call"), std::string::npos)
      << screen_;
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

// Whether `command` runs here.
bool tool_runs(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The tools the screen tests need (tests/test_needs.h).
#define NEED_PYTE()                                             \
  CARDSTOW_NEED(tool_runs("/usr/bin/python3 -c 'import pyte'"), \
                "python3-pyte, to render the screen")
#define NEED_TMUX() CARDSTOW_NEED(tool_runs("tmux -V"), "tmux")

// The lines a terminal shows after `output`, as python3-pyte renders them
// (tests/screen_lines.py), then "cursor ROW COLUMN"; `resizes` are its
// OFFSET:COLUMNS arguments. Empty when it cannot run.
std::string screen_lines(const std::string& output,
                         const std::string& resizes = "") {
  temp_dir dir;
  const std::string file = dir.path + "/output";
  std::ofstream(file, std::ios::binary) << output;
  const std::string command = "/usr/bin/python3 " CARDSTOW_SOURCE_DIR
                              "/tests/screen_lines.py " +
                              resizes + " < " + file;
  std::string lines;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      lines.append(buffer, got);
    }
    if (pclose(pipe) != 0) lines.clear();
  }
  return lines;
}

// The line `prefix` starts in `record`, without the prefix; empty when none.
std::string line_after(const std::string& record, const std::string& prefix) {
  const std::size_t at = record.find("\n" + prefix);
  if (at == std::string::npos) return "";
  const std::size_t start = at + 1 + prefix.size();
  return record.substr(start, record.find('\n', start) - start);
}

// What the editor takes into a line is what it shows: text answers held to
// the 29 bytes they keep while typed, pasted or recalled, file names
// completed with Tab, keys that are no text dropped whole, accents deleted
// with their letter, in every locale; at a dumb terminal no escape sequence
// of a key reaches an answer. Each row types a file name, a name and a first
// trait; the Level line before the trait is one long line for Up to recall.
TEST_F(TerminalTest, TypedAnswersAreStoredAsTheEditorShowsThem) {
  NEED_PYTE();
  struct row {
    terminal_kind kind;
    const char* locale;
    std::string file_keys, file;  // typed at the file-name prompt; stored in
    std::string name_keys, name;
    std::string trait_keys, trait;  // then Enter
    std::string screen;             // shown at the file-name prompt
  };
  const std::string e_acute = "\u00e9", han = "\u6f22", alt_x = "\x1bx";
  std::string fifteen_e, eleven_han;
  for (int i = 0; i < 15; ++i) fifteen_e += e_acute;
  for (int i = 0; i < 11; ++i) eleven_han += han;
  const std::string level_line = "12 6 7 5 4 8 9 3 and then some more words";
  const row rows[] = {
      {terminal_kind::editing, "C.UTF-8", "alpi\t", "alpine.TXT",
       "Sir Reginald Montgomery the Third" + home + "AB",
       "Sir Reginald Montgomery the T", up, "12 6 7 5 4 8 9 3 and then som",
       ""},
      {terminal_kind::editing, "C.UTF-8", "fo\tx.TXT", "fold/x.TXT",
       fifteen_e + "x", fifteen_e.substr(2), "Fast" + alt_x + "Shot",
       "FastShot", ""},
      {terminal_kind::editing, "C.UTF-8", "al\t\tha.TXT", "alpha.TXT",
       eleven_han + "ab", eleven_han.substr(6), "Fa\tst\x1b", "Fa\tst",
       "alpha.TXT   alpine.TXT\r\n"},
      {terminal_kind::editing, nullptr, "n.TXT", "n.TXT",
       "Mar" + e_acute + left + "X", "MarX" + e_acute,
       std::string("ab\x1b[M !!cd\x1b]11;rgb:0/0/0\x07") + "e\x1bP1$r0m\x1b\\f",
       "abcdef", ""},
      {terminal_kind::editing, nullptr, "c.TXT", "c.TXT",
       "cafe\u0301Z" + left + backspace, "cafZ", "Fast\u2028 Shot\u0085\u2029",
       "Fast Shot", ""},
      {terminal_kind::plain, nullptr, "p.TXT", "p.TXT",
       "Mara" + left + " Voss" + up, "Mara Voss",
       std::string("\x1bOA") + "Guns", "Guns", ""},
      // Backspace after an arrow key takes the character before it.
      {terminal_kind::plain, "C.UTF-8", "q.TXT", "q.TXT",
       "Mara" + left + backspace + "X", "MarX",
       "Gun\u00e9" + right + backspace + "s", "Guns", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "file keys \"" << r.file_keys << "\", name keys \""
                 << r.name_keys << "\", trait keys \"" << r.trait_keys << "\"");
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    std::ofstream(dir.path + "/alpha.TXT") << "";
    std::ofstream(dir.path + "/alpine.TXT") << "";
    ASSERT_EQ(mkdir((dir.path + "/fold").c_str(), 0700), 0);
    ASSERT_TRUE(start(dir.path, r.kind, r.locale));
    ASSERT_TRUE(wait_for(file_prompt)) << screen_.substr(seen_);
    type(r.file_keys);
    ASSERT_TRUE(wait_for("Character Name: ")) << screen_.substr(seen_);
    EXPECT_NE(screen_.find(r.screen), std::string::npos) << screen_;
    type(r.name_keys);
    ASSERT_TRUE(wait_for("Level: ")) << screen_.substr(seen_);
    type(level_line);
    // The prompts up to this one are one long line, wrapped by the editor.
    ASSERT_TRUE(wait_for("ait: ")) << screen_.substr(seen_);
    type(r.trait_keys);
    ASSERT_TRUE(wait_for("Second Trait: ")) << screen_.substr(seen_);
    type_keys(ctrl_d);  // the end of input: the rest is stored empty
    ASSERT_EQ(wait_for_exit(), 0) << "the terminal shows:\n" << screen_;
    const std::string record = file_content(dir.path + "/" + r.file);
    EXPECT_EQ(line_after(record, "Name: "), r.name) << record;
    if (r.kind == terminal_kind::editing) {
      // The screen shows the name as stored, no more, no less.
      const std::string shown = screen_lines(screen_);
      EXPECT_NE(shown.find("\nCharacter Name: " + r.name + "\n"),
                std::string::npos)
          << shown;
    }
    EXPECT_EQ(line_after(record, "Traits: "), r.trait) << record;
    end_session();
  }
}

// Runs at a terminal that are unusual in one way each still take their
// answers from it: output to a pipe, SIGINT ignored, input ended with Ctrl-D
// after a partial number at a dumb terminal.
TEST_F(TerminalTest, UnusualRunsStillTakeTheirAnswers) {
  enum class unusual { output_piped, interrupt_ignored, ended_in_a_number };
  struct unusual_case {
    unusual how;
    terminal_kind kind;
    std::vector<std::string> keys;  // each typed once the last prompt shows
    std::string record_after_name;  // what follows the name line
  };
  const std::string mara =
      "Level: 1\n\nST: 2      IN: 6\nPE: 3      AG: 7\n"
      "EN: 4      LK: 8\nCH: 5\n\nTraits: A\n        B\n"
      "\nTags:   C\n        D\n        E\n\nPerks:\n";
  const std::string answers = "1 2 3 4 5 6 7 8\nA\nB\nC\nD\nE\n0\n";
  const unusual_case cases[] = {
      {unusual::output_piped,
       terminal_kind::editing,
       {"p\u200b.TXT\nMarx" + left + backspace + "a\n" + answers},
       mara},
      {unusual::interrupt_ignored,
       terminal_kind::editing,
       {"p\u200b.TXT\n", "\x03Mara\n", answers},
       mara},
      {unusual::ended_in_a_number,
       terminal_kind::plain,
       {"p\u200b.TXT\n", "Mara\n", "12" + ctrl_d + ctrl_d},
       "Level: 12\n\nST: 0      IN: 0\nPE: 0      AG: 0\nEN: 0      LK: 0\n"
       "CH: 0\n\nTraits: \n        \n\nTags:   \n        \n        \n\n"
       "Perks:\n"},
  };
  for (const unusual_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << static_cast<int>(c.how));
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    int pipe_ends[2] = {-1, -1};
    if (c.how == unusual::output_piped) {
      ASSERT_EQ(pipe(pipe_ends), 0);
    }
    ignore_interrupt_ = c.how == unusual::interrupt_ignored;
    ASSERT_TRUE(start(dir.path, c.kind, "C.UTF-8", pipe_ends[1]));
    std::string piped;
    if (c.how == unusual::output_piped) {
      close(pipe_ends[1]);
      // Keys typed before the program has the terminal are the terminal's
      // own line mode's: wait until it has it.
      termios modes{};
      const auto until = clock_type::now() + patience;
      while (tcgetattr(master_, &modes) == 0 && (modes.c_lflag & ICANON) &&
             clock_type::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      type_keys(c.keys[0]);
      // The prompts reach the pipe, and all of the run's output with them.
      const auto deadline = clock_type::now() + patience;
      pollfd fd{pipe_ends[0], POLLIN, 0};
      char buffer[4096];
      ssize_t got = 1;
      while (got > 0 && clock_type::now() < deadline &&
             poll(&fd, 1, 1000) >= 0) {
        got = (fd.revents & (POLLIN | POLLHUP)) != 0
                  ? read(pipe_ends[0], buffer, sizeof buffer)
                  : 1;
        if (got > 0 && (fd.revents & POLLIN) != 0) {
          piped.append(buffer, static_cast<std::size_t>(got));
        }
      }
      close(pipe_ends[0]);
      std::string rest;
      EXPECT_TRUE(split_screen(piped, rest));
      EXPECT_EQ(rest, file_prompt + questionnaire_prompts +
                          stored_lines("p\u200b.TXT"));
    } else {
      const char* const prompts[] = {"Enter a file name followed by .TXT: ",
                                     "Character Name: ", "Level: "};
      for (std::size_t i = 0; i < c.keys.size(); ++i) {
        ASSERT_TRUE(wait_for(prompts[i])) << screen_.substr(seen_);
        type_keys(c.keys[i]);
      }
    }
    ASSERT_EQ(wait_for_exit(), 0) << "the terminal shows:\n" << screen_;
    EXPECT_EQ(file_content(dir.path + "/p\u200b.TXT"),
              "Ironvale Scout Corps Personal Record\n\nName: Mara\n" +
                  c.record_after_name);
    end_session();
  }
  ignore_interrupt_ = false;
}

// Ctrl-Z stops the program with the terminal in its own modes, and the
// line typed so far comes back when the program goes on.
TEST_F(TerminalTest, StoppedRunGivesBackTheTerminalAndResumesTheLine) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(start_as_job(dir.path));
  ASSERT_TRUE(wait_for("[job ")) << screen_;
  ASSERT_TRUE(wait_for("]")) << screen_;
  const pid_t job = static_cast<pid_t>(std::stol(screen_.substr(5)));
  ASSERT_TRUE(wait_for(file_prompt)) << screen_.substr(seen_);
  type("stop.TXT");
  ASSERT_TRUE(wait_for("Character Name: ")) << screen_.substr(seen_);
  type_keys("Mar");  // shown before Ctrl-Z, which drops what is unread
  ASSERT_TRUE(wait_for("Mar")) << screen_.substr(seen_);
  // Stopped twice: each time the terminal is in its own modes while
  // stopped, and in the editor's once resumed.
  for (int stop = 1; stop <= 2; ++stop) {
    SCOPED_TRACE(testing::Message() << "stop " << stop);
    type_keys("\x1a");
    ASSERT_TRUE(wait_for("[stopped]")) << screen_.substr(seen_);
    termios modes{};
    ASSERT_EQ(tcgetattr(master_, &modes), 0);
    const tcflag_t line_mode = ECHO | ICANON | ISIG;
    EXPECT_EQ(modes.c_lflag & line_mode, line_mode)
        << "terminal modes while stopped: " << std::hex << modes.c_lflag;
    ASSERT_EQ(kill(job, SIGCONT), 0);
    ASSERT_TRUE(wait_for("Character Name: Mar")) << screen_.substr(seen_);
    ASSERT_EQ(tcgetattr(master_, &modes), 0);
    EXPECT_EQ(modes.c_lflag & (ECHO | ICANON), 0u)
        << "terminal modes once resumed: " << std::hex << modes.c_lflag;
  }
  type("a");
  ASSERT_TRUE(wait_for("Level: ")) << screen_.substr(seen_);
  // Up and Down go through the answers given, an empty one left out and a
  // repeated one once.
  type_keys("1 2 3 4 5 6 7 8\nA\n\n" + up + "\n" + up + "\n" + up + up + up +
            down + "\n0\n");
  ASSERT_EQ(wait_for_exit(), 0) << "the terminal shows:\n" << screen_;
  EXPECT_EQ(file_content(dir.path + "/stop.TXT"),
            "Ironvale Scout Corps Personal Record\n\nName: Mara\nLevel: 1\n\n"
            "ST: 2      IN: 6\nPE: 3      AG: 7\nEN: 4      LK: 8\nCH: 5\n\n"
            "Traits: A\n        \n\nTags:   A\n        A\n"
            "        1 2 3 4 5 6 7 8\n\nPerks:\n");
}

// The terminal the answers are typed at is no answers file: named as the
// record, it is written like any device, the record shown on it.
TEST_F(TerminalTest, TheTerminalItselfCanTakeTheRecord) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(start(dir.path, terminal_kind::plain));
  const std::string terminal = ptsname(master_);
  ASSERT_TRUE(wait_for(file_prompt)) << screen_.substr(seen_);
  type(terminal);
  ASSERT_TRUE(wait_for("Character Name: ")) << screen_.substr(seen_);
  type("Mara");
  ASSERT_TRUE(wait_for("Level: ")) << screen_.substr(seen_);
  type_keys(ctrl_d);
  ASSERT_EQ(wait_for_exit(), 0) << "the terminal shows:\n" << screen_;
  const std::string shown = without_carriage_returns(screen_);
  EXPECT_NE(shown.find("Ironvale Scout Corps Personal Record\n\nName: Mara\n"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find(stored_lines(terminal)), std::string::npos) << shown;
  EXPECT_TRUE(entries_of(dir.path).empty());
}

// The answers of a session from the name on, each line ended by `line_end`,
// the numbers of a line separated by `gap`; one perk.
std::string answers_after_name(const std::string& line_end,
                               const std::string& gap) {
  std::string keys = "Mara Voss" + line_end + "12";
  for (const char* number : {"6", "7", "5", "4", "8", "9", "3"}) {
    keys += gap + number;
  }
  keys += line_end;
  for (const char* text : {"Fast Shot", "Small Frame", "Guns", "Lockpick",
                           "Speech", "1", "Toughness"}) {
    keys += text + line_end;
  }
  return keys;
}

// At the file-name prompt a name is opened only as typed, pasted or
// completed in full, and a completion never puts into the line, nor on the
// screen, a character that would end the line or drive the terminal; a
// pasted CR LF answers file, tabs between numbers, gives what piping gives.
TEST_F(TerminalTest, WhatIsTypedPastedOrCompletedIsWhatIsStored) {
  const std::string long_name = "Sir_Reginald_Montgomery_the_Third.TXT";
  const std::string cut_name = long_name.substr(0, 29);
  std::vector<std::string> many;
  for (int i = 100; i < 220; ++i) many.push_back("m" + std::to_string(i));
  struct row {
    std::vector<std::string> files;  // made empty first
    std::string keys;                // typed at the file-name prompt
    std::string stored;  // the record's name; empty: refused, exit 1
    std::string shown;   // on the screen after the prompt
    std::string never_shown = "\x1b[2J";
  };
  const std::string answers = answers_after_name("\n", " ");
  const row rows[] = {
      // Completed or pasted, a long name is refused whole, never cut.
      {{long_name, cut_name},
       "Sir_Reginald_Montgomery_the_Th\t\n",
       "",
       "is longer than 29 bytes"},
      {{cut_name}, long_name + "\n", "", "is longer than 29 bytes"},
      // A name with a line feed or ESC is listed escaped, never inserted.
      {{"c\nline.TXT"}, "c\t\t.TXT\n" + answers, "c.TXT", "c\\nline.TXT"},
      {{"b\x1b[2Jclear.TXT", "b\x1b]0;pwned\x07.TXT"},
       "b\t\tx.TXT\n" + answers,
       "bx.TXT",
       "b\\x1b[2Jclear.TXT      b\\x1b]0;pwned\\x07.TXT",
       "\x1b]0;"},
      // The common start ends at a whole character: both names listed.
      {{"Zo\u00eb.TXT", "Zo\u00e9.TXT"},
       "Z\t\t\u00e9.TXT\n" + answers,
       "Zo\u00e9.TXT",
       "Zo\u00e9.TXT  Zo\u00eb.TXT"},
      // Many names: asked first, as bash asks.
      {many, "m\t\tnn.TXT\n" + answers, "mn.TXT",
       "Display all 120 possibilities? (y or n)", "m219"},
      // Alt-Backspace deletes the word before the cursor, not a character.
      {{},
       "hero.TXT\x1b\x7f"
       "DAT\n" +
           answers,
       "hero.DAT",
       "hero.DAT"},
      // A pasted answers file saved with CR LF, tabs between the numbers.
      {{},
       "crlf.TXT\r\n" + answers_after_name("\r\n", "\t"),
       "crlf.TXT",
       "Enter perk: Toughness"},
      {{},
       "cr.TXT\r" + answers_after_name("\r", "\t"),
       "cr.TXT",
       "Enter perk: Toughness"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "keys " << testing::PrintToString(r.keys.substr(0, 40)));
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    for (const std::string& file : r.files) {
      std::ofstream(dir.path + "/" + file) << "";
    }
    ASSERT_TRUE(start(dir.path, terminal_kind::editing));
    ASSERT_TRUE(wait_for(file_prompt)) << screen_.substr(seen_);
    type_keys(r.keys);
    const int status = wait_for_exit();
    const std::string shown = screen_.substr(seen_);
    EXPECT_NE(shown.find(r.shown), std::string::npos) << shown;
    EXPECT_EQ(shown.find(r.never_shown), std::string::npos) << shown;
    if (r.stored.empty()) {
      EXPECT_EQ(status, 1) << shown;
      for (const std::string& file : r.files) {
        EXPECT_EQ(file_content(dir.path + "/" + file), "") << file;
      }
    } else {
      EXPECT_EQ(status, 0) << shown;
      EXPECT_EQ(file_content(dir.path + "/" + r.stored),
                session_sheet + "Toughness\n")
          << shown;
    }
    end_session();
  }
}

// Sets the window of the terminal to `columns` by 30 rows; the program gets
// SIGWINCH.
void resize_window(int master, int columns) {
  winsize size{};
  size.ws_row = 30;
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(master, TIOCSWINSZ, &size);
}

// The screen as a terminal that does not rewrap its rows shows it (pyte,
// as xterm): the cursor stands after what the editor drew, wide characters
// included, and a resize while typing neither erases a line above the
// answer nor leaves a copy of it.
TEST_F(TerminalTest, TheScreenShowsTheLineAsEdited) {
  NEED_PYTE();
  // 57 columns of numbers, which no limit holds.
  const std::string long_answer =
      "12 6 7 5 4 8 9 3 and then more, and more, and more, words";
  const struct {
    std::string keys;  // at the name prompt, or after "Mara" at Level
    int resize_to;     // 0: none; else columns, once the keys show
    std::string row;   // the answer's row on the screen, at 80 columns
    int column;        // where the cursor stands on the row
  } cases[] = {
      {"\u6f22\u5b57\u4eee\u540d\u4ea4" + ctrl_a + right + "Z", 0,
       "Character Name: \u6f22Z\u5b57\u4eee\u540d\u4ea4", 19},
      {"cafe\u0301s" + left + backspace, 0, "Character Name: cafs", 19},
      {"Fa\tst" + home, 0, "Character Name: Fa^Ist", 16},
      {long_answer, 20, "", 0},
      {long_answer, 120, "Level: " + long_answer, 64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "keys " << testing::PrintToString(c.keys)
                                    << ", resized to " << c.resize_to);
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(start(dir.path, terminal_kind::editing));
    ASSERT_TRUE(wait_for(file_prompt)) << screen_.substr(seen_);
    type("r.TXT");
    ASSERT_TRUE(wait_for("Character Name: ")) << screen_.substr(seen_);
    if (c.resize_to != 0) {
      type("Mara");
      ASSERT_TRUE(wait_for("Level: ")) << screen_.substr(seen_);
    }
    type_keys(c.keys);
    ASSERT_TRUE(wait_until_drawn()) << screen_.substr(seen_);
    std::string resizes;
    if (c.resize_to != 0) {
      resize_window(master_, c.resize_to);
      resizes =
          std::to_string(screen_.size()) + ":" + std::to_string(c.resize_to);
      // Drawn again once the editor has given up asking where its cursor is.
      ASSERT_TRUE(wait_for("Level: ")) << screen_.substr(seen_);
      ASSERT_TRUE(wait_until_drawn()) << screen_.substr(seen_);
    }
    const std::string shown = screen_lines(screen_, resizes);
    if (c.resize_to == 20) {
      // The rows above the answer are as they were, and it shows once.
      EXPECT_NE(shown.find("\nEnter a file name fo\nCharacter Name: Mara\n"
                           "Level: 12 6 7 5 4 8\n9 3 and then more, a\n"
                           "nd more, and more, w\nords\n"),
                std::string::npos)
          << shown;
      EXPECT_NE(shown.find("\ncursor 14 4\n"), std::string::npos) << shown;
      EXPECT_EQ(count_of("Level: ", shown), 1u) << shown;
    } else {
      const std::string row = "\n" + c.row + "\n";
      EXPECT_NE(shown.find(row), std::string::npos) << shown;
      const std::size_t row_number = static_cast<std::size_t>(std::count(
          shown.begin(),
          shown.begin() + static_cast<std::ptrdiff_t>(shown.find(row) + 1),
          '\n'));
      EXPECT_NE(shown.find("cursor " + std::to_string(row_number) + " " +
                           std::to_string(c.column) + "\n"),
                std::string::npos)
          << shown;
    }
    end_session();
  }
}

// What tmux, which rewraps its rows when its window changes, shows of the
// session on `server`: the pane's lines, wrapped rows joined.
std::string tmux_pane(const std::string& server) {
  std::string lines;
  if (FILE* pipe = popen(
          ("tmux -L " + server + " capture-pane -p -J -t s").c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      lines.append(buffer, got);
    }
    pclose(pipe);
  }
  return lines;
}

// Waits until the pane shows `text`; false when it does not in time.
bool tmux_shows(const std::string& server, const std::string& text) {
  const auto deadline = clock_type::now() + patience;
  while (tmux_pane(server).find(text) == std::string::npos) {
    if (clock_type::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Waits until `output`, what the program wrote, holds `prompt` more than
// `times` times, the last with `line_end` after it; false when it does not
// in time.
bool drawn_again(const std::string& output, const std::string& prompt,
                 std::size_t times, const std::string& line_end) {
  const auto deadline = clock_type::now() + patience;
  for (;;) {
    const std::string written = file_content(output);
    if (count_of(prompt, written) > times &&
        written.find(line_end, written.rfind(prompt)) != std::string::npos) {
      return true;
    }
    if (clock_type::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// On a terminal that rewraps (tmux), a resize while typing, shrinking then
// growing, leaves one copy of the answer and every line above it; emoji
// sequences are deleted whole and taken at the width Unicode gives them.
TEST_F(TerminalTest, ARewrappingTerminalShowsTheLineOnce) {
  NEED_TMUX();
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string server = "cardstow-test-" + std::to_string(getpid());
  const std::string tmux = "tmux -L " + server + " ";
  const std::string start_session =
      tmux + "-f /dev/null new-session -d -s s -x 40 -y 30 -c " + dir.path +
      " 'env LC_ALL=C.UTF-8 TERM=screen " CARDSTOW_BINARY "; sleep 30'";
  ASSERT_EQ(std::system(start_session.c_str()), 0);
  // Types `k`: text, with "\r" for Enter and "\x7f" for Backspace.
  const auto keys = [&](const std::string& k) {
    std::string text;
    for (const char c : k + '\0') {
      if (c != '\r' && c != '\x7f' && c != '\0') {
        text += c;
        continue;
      }
      if (!text.empty()) {
        std::system((tmux + "send-keys -t s -l '" + text + "'").c_str());
      }
      text.clear();
      if (c != '\0') {
        std::system(
            (tmux + "send-keys -t s " + (c == '\r' ? "Enter" : "BSpace"))
                .c_str());
      }
    }
  };
  const std::string answer = "Mara of the Ironvale Scouts";
  EXPECT_TRUE(tmux_shows(server, "Enter a file name"));
  keys("t.TXT\r");
  // The pane's lines come without their trailing spaces.
  EXPECT_TRUE(tmux_shows(server, "Character Name:")) << tmux_pane(server);
  keys("A\U0001F468\u200D\U0001F469\u200D\U0001F467\x7f\U0001FAE8\r" +
       std::string("12 6 7 5 4 8 9 3\r"));
  EXPECT_TRUE(tmux_shows(server, "First Trait:")) << tmux_pane(server);
  keys(answer);
  EXPECT_TRUE(tmux_shows(server, "Scouts"));
  // What the program writes from here on, to tell when it has drawn its line
  // again: tmux rewraps the pane at once, the program later.
  temp_dir piped;
  const std::string output = piped.path + "/output";
  std::system((tmux + "pipe-pane -t s 'cat >" + output + "'").c_str());
  for (const int columns : {25, 60}) {
    const std::size_t drawn = count_of("First Trait: ", file_content(output));
    std::system(
        (tmux + "resize-window -t s -x " + std::to_string(columns) + " -y 30")
            .c_str());
    EXPECT_TRUE(drawn_again(output, "First Trait: ", drawn, "Scouts"))
        << file_content(output);
    const std::string pane = tmux_pane(server);
    SCOPED_TRACE(testing::Message() << columns << " columns:\n" << pane);
    for (const char* part : {"Strength: Perception: ", "Luck: ", "Ironvale"}) {
      EXPECT_EQ(count_of(part, pane), 1u) << part;
    }
    EXPECT_NE(pane.find("\nLevel: 12 6 7 5 4 8 9 3\n"), std::string::npos);
  }
  keys("\rB\rC\rD\rE\r0\r");
  EXPECT_TRUE(tmux_shows(server, "Thanks for using CARDSTOW."));
  std::system((tmux + "kill-server").c_str());
  const std::string record = file_content(dir.path + "/t.TXT");
  EXPECT_NE(record.find("Name: A\U0001FAE8\n"), std::string::npos) << record;
  EXPECT_NE(record.find("Traits: " + answer + "\n"), std::string::npos)
      << record;
}

}  // namespace
