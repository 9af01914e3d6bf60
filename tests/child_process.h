// Runs the real cardstow program as a child process for the process-level
// tests: piped console streams, a working directory, a bounded wait.
#ifndef CARDSTOW_TESTS_CHILD_PROCESS_H_
#define CARDSTOW_TESTS_CHILD_PROCESS_H_

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Produces the child's console input piece by piece: puts the next piece in
// `chunk` and returns true, or returns false once the input is over. An
// empty piece means nothing yet: the source is asked again a moment later.
// Lets a test feed far more input than it ever holds.
using input_source = std::function<bool(std::string& chunk)>;

// An input source that gives `bytes` at once and then ends.
input_source bytes_source(std::string bytes);

// An input source that gives `first`, then nothing for `pause`, then
// `second`, and ends.
input_source two_part_source(std::string first, std::string second,
                             std::chrono::milliseconds pause);

// What to run and how.
struct child_run {
  std::string program = CARDSTOW_BINARY;
  std::vector<std::string> args;  // after the program name
  std::string directory;          // working directory of the child
  input_source input;             // console input; empty when unset
  std::string input_file;         // when set, console input is this file
  bool close_input = false;       // the child starts with no standard input
  // Reading the input pipe when it is empty fails (EAGAIN) instead of
  // waiting.
  bool nonblocking_input = false;
  // Console input is a socket whose other end is closed, with data the
  // child never reads, once the input is over: the read after the input
  // fails with ECONNRESET.
  bool reset_input = false;
  std::string output_file;     // when set, standard output goes to this file
  bool output_unread = false;  // standard output is a pipe no one reads
  // Called with the child's process ID once it is started, before any input
  // is fed: for a test that signals it.
  std::function<void(int pid)> started;
  std::chrono::seconds time_limit{30};
  std::size_t output_limit = 8u << 20;  // bytes kept of each output stream
};

// How the run went.
struct child_result {
  std::string problem;      // why the run itself failed: empty when it did not
  bool timed_out = false;   // the time limit ran out and the child was killed
  int exit_status = -1;     // the status it exited with; -1 when it did not
  int signal = 0;           // the signal that ended it; 0 when none did
  std::string out;          // standard output, at most output_limit bytes
  std::string err;          // standard error, at most output_limit bytes
  bool output_cut = false;  // an output stream gave more than output_limit
  long peak_rss_kib = 0;    // the child's peak resident set size
};

// Starts run.program with run.args in run.directory, with every signal at
// its default action and none blocked, no descriptor but 0, 1 and 2, feeds its
// standard input, drains standard output and error as they come, and waits for
// it to end, at most run.time_limit in all; then the child is killed and the
// result says timed_out.
child_result run_child(const child_run& run);

// Runs cardstow in `directory` with `input` as its whole console input.
child_result run_cardstow(const std::string& directory, std::string input,
                          std::vector<std::string> args = {});

// One line telling how a run ended, for failure messages.
std::string describe_end(const child_result& result);

// The console texts of a run, for building the output a test expects.
inline const std::string file_prompt = "Enter a file name followed by .TXT: ";
inline const std::string questionnaire_prompts =
    "Character Name: Level: Strength: Perception: Endurance: Charisma: "
    "Intelligence: Agility: Luck: First Trait: Second Trait: First Tag: "
    "Second Tag: Third Tag: How many Perks do you need to enter: ";
inline const std::string thanks_line = "Thanks for using CARDSTOW.\n";

// The closing lines of a run that stored its record in `name`.
std::string stored_lines(const std::string& name);

// Checks the framed start-up screen, seven lines and two empty ones, at the
// start of `out` and puts what follows it in `rest`.
testing::AssertionResult split_screen(const std::string& out,
                                      std::string& rest);

// A fresh directory under /tmp, removed with everything in it when this goes
// out of scope.
struct temp_dir {
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  std::string path;  // empty when it could not be made
};

// The names of the entries of `directory`, sorted.
std::vector<std::string> entries_of(const std::string& directory);

// The whole content of the file at `path`, byte for byte; empty when absent.
std::string file_content(const std::string& path);

#endif  // CARDSTOW_TESTS_CHILD_PROCESS_H_
