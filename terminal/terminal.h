// The process's console, the platform's side of it: lines typed at a
// terminal, and the bytes of standard input and output otherwise. Each
// platform has its own implementation, chosen by the build; the dialogue sees
// only the stream buffers built on these calls (app/console_streams.h).
#ifndef CARDSTOW_TERMINAL_TERMINAL_H_
#define CARDSTOW_TERMINAL_TERMINAL_H_

#include <cstddef>
#include <string>
#include <string_view>

// Readies the process's console for a run; call once, before the others.
// From then on a standard output that no one reads any more (a closed pipe)
// fails the write with EPIPE instead of ending the process. On POSIX, a
// standard input, output or error closed at the start is held on /dev/null
// (no file opened later takes its place) and reads or writes as closed:
// EBADF. On Windows,
// standard output and std::cerr that are a console show UTF-8 text from then
// on, whatever the console's code page.
void open_console();

// Reads up to `size` (> 0) bytes of standard input into `buffer`, waiting for
// at least one, also when standard input does not block (it waits until
// input is ready) and when a signal interrupts the read. The bytes are as
// stored, with no line-end translation. Returns how many were read: 0 at end
// of input, and 0 on a read error, which sets `error` to the system's errno.
std::size_t read_standard_input(char* buffer, std::size_t size, int& error);

// Whether standard input is a terminal that has hung up (its window was
// closed while the hang-up signal is ignored): reading it then gives end of
// input, though nothing ended the answers.
bool standard_input_hung_up();

// Where console input ends within `text`, standard input decoded to UTF-8:
// on Windows at the first Ctrl-Z (U+001A), as its text mode has it;
// elsewhere nowhere, text.size(). Nothing after that point is read.
std::size_t standard_input_end(std::string_view text);

// Writes all of `bytes` to standard output. Returns false when a write fails,
// with `error` set to the system's errno.
bool write_standard_output(std::string_view bytes, int& error);

// Whether standard output is a terminal (a console on Windows): a person,
// not a script, reads what is written there.
bool standard_output_is_terminal();

// A person typing at a terminal: the line editor their lines come from.
struct typed_lines;

// Starts the line editor when a person types at a terminal the platform's
// editor can serve; call after open_console. Returns nullptr otherwise (input
// redirected, no editor on this platform): then console input is read with
// read_standard_input and nothing changes. On POSIX, standard input a
// terminal where the editor cannot run (output redirected, TERM unset, dumb
// or unknown, a character set other than UTF-8) gives lines echoed key by
// key without the escape sequences of keys (plain_lines_posix.h). Either
// way the terminal is in raw mode until close_typed_lines.
// On Windows the console is the editor whenever standard input is a console,
// output redirected or not: only it gives typed text as UTF-16.
typed_lines* open_typed_lines();

// The kind of answer about to be typed.
enum class answer_kind {
  numbers,    // one or more whole numbers; a Tab separates them
  text,       // a text answer; a Tab is part of it
  file_name,  // a text answer that names a file: Tab completes file names
};

// What the answer about to be typed takes, as the editor may hold it to.
struct typed_answer {
  answer_kind kind = answer_kind::numbers;
  std::size_t most_bytes = 0;  // the most bytes of a line kept; 0: no limit
};

// Reads the next line typed, after showing `prompt`: what was printed since
// the last line end and held back for the editor to show. An editor that can
// refuses keys that would take the line past answer.most_bytes, completes
// file names with Tab only for answer_kind::file_name and takes a Tab into
// other answers. Appends the
// line to `line` with one "\n" for its line end (at a terminal without an
// editor, what the terminal gave, perhaps without one). Returns false at end
// of input (as typed; nothing appended) or on a read error, which sets
// `error` to an errno.
bool read_typed_line(typed_lines& typed, std::string_view prompt,
                     const typed_answer& answer, std::string& line, int& error);

// Ends the line editor and puts the terminal back as it was; accepts nullptr.
void close_typed_lines(typed_lines* typed);

// Ends the run at the console; call last, once everything is written. On
// Windows, when the console window is the program's own (started by a
// double-click: no other process holds the console, and neither input nor
// output is redirected), prints an empty line and "Press Enter to close this
// window." and waits for Enter or the end of input, so that the window stays
// until read. On POSIX, nothing.
void close_console();

#endif  // CARDSTOW_TERMINAL_TERMINAL_H_
