// Lines typed at a terminal, edited with libedit (POSIX): emacs keys, whole
// UTF-8 characters, the answers of this run recalled with Up and Down.
//
// Between lines the terminal neither echoes nor collects lines, so that keys
// typed ahead of a prompt wait unseen until the editor shows them after the
// prompt. The program therefore puts the terminal back as it found it
// itself: at the end, before a signal ends the program, and before it stops
// (Ctrl-Z), setting it up again when it goes on. Signals are handled here,
// not by libedit, whose handlers signal the whole process group.
#include <histedit.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <termcap.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <string_view>

#include "terminal/terminal.h"

struct typed_lines {
  EditLine* editor = nullptr;
  History* history = nullptr;
  std::string prompt;  // what the editor shows before the line
  char bytes[256];     // read from the terminal, not yet decoded
  std::size_t bytes_at = 0, bytes_end = 0;
  std::mbstate_t decoding{};
  std::wstring key;        // the key being handed to the editor
  std::size_t key_at = 0;  // how much of it was handed over
  int error = 0;           // errno of a failed read of the terminal
};

namespace {

// The terminal's modes as found.
termios found_modes;

// Set when the program was resumed or its window resized: the line is drawn
// again before the next key is read.
volatile sig_atomic_t redraw_due = 0;

// The signals handled while the editor is open, and what was done before.
const int handled_signals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                               SIGTSTP, SIGCONT, SIGWINCH};
struct sigaction previous_actions[std::size(handled_signals)];

// The editing keys, bound over libedit's emacs defaults as its "bind"
// command takes them. An escape sequence not listed here (a function key, a
// key with a modifier) is dropped whole by read_key.
struct key_binding {
  const char* keys;
  const char* command;
};
constexpr key_binding key_bindings[] = {
    {"^A", "ed-move-to-beg"},
    {"^E", "ed-move-to-end"},
    {"^U", "vi-kill-line-prev"},    // to the start of the line, as shells do
    {"^K", "ed-kill-line"},         // to its end
    {"^W", "ed-delete-prev-word"},  // the word before the cursor
    {"^D", "cardstow-end-or-delete"},
    {"^V", "ed-unassigned"},  // no literal control characters in an answer
    {"^R", "ed-redisplay"},
    {"\033[A", "ed-prev-history"},
    {"\033OA", "ed-prev-history"},
    {"\033[B", "ed-next-history"},
    {"\033OB", "ed-next-history"},
    {"\033[C", "ed-next-char"},
    {"\033OC", "ed-next-char"},
    {"\033[D", "ed-prev-char"},
    {"\033OD", "ed-prev-char"},
    {"\033[H", "ed-move-to-beg"},
    {"\033OH", "ed-move-to-beg"},
    {"\033[1~", "ed-move-to-beg"},
    {"\033[7~", "ed-move-to-beg"},
    {"\033[F", "ed-move-to-end"},
    {"\033OF", "ed-move-to-end"},
    {"\033[4~", "ed-move-to-end"},
    {"\033[8~", "ed-move-to-end"},
    {"\033[3~", "ed-delete-next-char"},
};

// How many lines Up can go back.
constexpr int history_size = 1000;

// Signal handlers: only async-signal-safe calls.

void raise_unblocked(int signal_number) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, signal_number);
  sigprocmask(SIG_UNBLOCK, &signals, nullptr);
  raise(signal_number);
}

// Puts the terminal back as found, then ends the program by the signal.
void end_by_signal(int signal_number) {
  tcsetattr(0, TCSANOW, &found_modes);
  signal(signal_number, SIG_DFL);
  raise_unblocked(signal_number);
}

// Puts the terminal back as found and stops; once resumed, sets it up again
// as it was at the stop.
void stop_by_signal(int signal_number) {
  const int saved_errno = errno;
  termios modes;
  const bool known = tcgetattr(0, &modes) == 0;
  tcsetattr(0, TCSANOW, &found_modes);
  signal(signal_number, SIG_DFL);
  raise_unblocked(signal_number);
  signal(signal_number, stop_by_signal);
  if (known) tcsetattr(0, TCSANOW, &modes);
  errno = saved_errno;
}

void note_redraw_due(int) { redraw_due = 1; }

using signal_handler = void (*)(int);

signal_handler handler_for(int signal_number) {
  switch (signal_number) {
    case SIGTSTP:
      return stop_by_signal;
    case SIGCONT:
    case SIGWINCH:
      return note_redraw_due;
  }
  return end_by_signal;
}

// Installs the handlers, leaving alone a signal the program was started
// ignoring (as `nohup` does).
void install_signal_handlers() {
  for (std::size_t i = 0; i < std::size(handled_signals); ++i) {
    sigaction(handled_signals[i], nullptr, &previous_actions[i]);
    if (previous_actions[i].sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = handler_for(handled_signals[i]);
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(handled_signals[i], &action, nullptr);
  }
}

void restore_signal_handlers() {
  for (std::size_t i = 0; i < std::size(handled_signals); ++i) {
    sigaction(handled_signals[i], &previous_actions[i], nullptr);
  }
}

// Whether the terminal can be driven by the editor: TERM names a terminal
// the terminal database knows, other than "dumb".
bool terminal_is_known() {
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0) {
    return false;
  }
  return tgetent(nullptr, term) == 1;
}

// Takes the character set from the environment (LC_ALL, LC_CTYPE, LANG);
// true when it is UTF-8. Otherwise the C locale stays.
bool use_utf8_locale() {
  if (std::setlocale(LC_CTYPE, "") != nullptr &&
      std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) {
    return true;
  }
  std::setlocale(LC_CTYPE, "C");
  return false;
}

typed_lines& typed_lines_of(EditLine* editor) {
  void* data = nullptr;
  el_get(editor, EL_CLIENTDATA, &data);
  return *static_cast<typed_lines*>(data);
}

char* prompt_of(EditLine* editor) {
  return typed_lines_of(editor).prompt.data();
}

// Ctrl-D: the end of input on an empty line, else deletes the character
// under the cursor. Unlike libedit's own, it never shows "^D".
unsigned char end_or_delete(EditLine* editor, int) {
  const LineInfoW* line = el_wline(editor);
  if (line->buffer == line->lastchar) return CC_EOF;
  if (line->cursor == line->lastchar) return CC_ERROR;
  el_cursor(editor, 1);
  el_wdeletestr(editor, 1);
  return CC_REFRESH;
}

// What reading the terminal gave, besides a count of characters or bytes.
constexpr int read_failed = -1;  // an error, kept in typed.error
constexpr int redraw = 2;        // the line must be drawn again first

// The key that makes libedit draw the line again (bound to ed-redisplay).
constexpr wchar_t redisplay_key = L'\x12';

// Waits until the terminal has input: 1, or redraw when the program was
// resumed or the window resized meanwhile, or read_failed.
int wait_for_input(typed_lines& typed) {
  sigset_t wake, others;
  sigemptyset(&wake);
  sigaddset(&wake, SIGCONT);
  sigaddset(&wake, SIGWINCH);
  sigprocmask(SIG_BLOCK, &wake, &others);
  pollfd input{0, POLLIN, 0};
  int ready = 0;
  while (ready == 0 && !redraw_due) {
    ready = ppoll(&input, 1, nullptr, &others);
    if (ready < 0 && errno == EINTR) ready = 0;
  }
  if (ready < 0) typed.error = errno;
  sigprocmask(SIG_SETMASK, &others, nullptr);
  if (ready < 0) return read_failed;
  return ready > 0 ? 1 : redraw;
}

// Reads more bytes from the terminal: 1 when some came, 0 at its end,
// redraw or read_failed.
int read_bytes(typed_lines& typed) {
  for (;;) {
    const int ready = wait_for_input(typed);
    if (ready != 1) return ready;
    // One byte at a time: keys typed after the last line stay unread on the
    // terminal, for whatever reads it once the program has ended.
    const ssize_t got = read(0, typed.bytes, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) typed.error = errno;
    if (got < 0) return read_failed;
    typed.bytes_at = 0;
    typed.bytes_end = static_cast<std::size_t>(got);
    return got > 0 ? 1 : 0;
  }
}

// Reads the next character typed into `c`: 1 when read, 0 at the end of
// input, redraw or read_failed. Bytes that are no UTF-8 are dropped.
int read_character(typed_lines& typed, wchar_t& c) {
  for (;;) {
    if (typed.bytes_at == typed.bytes_end) {
      const int got = read_bytes(typed);
      if (got != 1) return got;
    }
    const bool fresh = std::mbsinit(&typed.decoding) != 0;
    const char* byte = typed.bytes + typed.bytes_at++;
    const std::size_t used = std::mbrtowc(&c, byte, 1, &typed.decoding);
    if (used <= 1) return 1;
    if (used == static_cast<std::size_t>(-1)) {
      typed.decoding = {};
      if (!fresh) --typed.bytes_at;  // ends a cut character: read it again
    }
  }
}

// Reads the rest of a key that starts with ESC into typed.key: a CSI
// sequence ("ESC [", parameters, a final character), an SS3 one ("ESC O"
// and a character), or ESC and one character (a meta key). Of ESC ESC the
// first is dropped. Returns as read_character does.
int read_escape_sequence(typed_lines& typed) {
  wchar_t c = L'\033';
  int got = 1;
  while (got == 1 && c == L'\033') got = read_character(typed, c);
  typed.key.assign(1, L'\033');
  if (got == 1) typed.key.push_back(c);
  if (got == 1 && c == L'O') {
    got = read_character(typed, c);
    if (got == 1) typed.key.push_back(c);
  }
  bool parameters = got == 1 && c == L'[';
  while (parameters) {
    got = read_character(typed, c);
    if (got == 1) typed.key.push_back(c);
    parameters = got == 1 && c >= 0x20 && c < 0x40 && typed.key.size() < 16;
  }
  return got;
}

// Whether the editor binds the key in typed.key: every key but an escape
// sequence not in key_bindings.
bool is_bound(const typed_lines& typed) {
  const std::wstring_view key = typed.key;
  if (key.size() < 3 || (key[1] != L'[' && key[1] != L'O')) return true;
  for (const key_binding& binding : key_bindings) {
    const std::string_view keys = binding.keys;
    if (std::equal(key.begin(), key.end(), keys.begin(), keys.end())) {
      return true;
    }
  }
  return false;
}

// Reads the next key typed into typed.key (left empty for a key that is
// dropped): 1, 0 at the end of input, or read_failed. Asks for a redraw
// when one is due.
int read_next_key(typed_lines& typed) {
  typed.key.clear();
  typed.key_at = 0;
  wchar_t c;
  int got = read_character(typed, c);
  if (got == 1) typed.key.assign(1, c);
  if (got == 1 && c == L'\033') got = read_escape_sequence(typed);
  if (got == 1 && !is_bound(typed)) typed.key.clear();
  if (got != redraw) return got;
  redraw_due = 0;
  el_resize(typed.editor);
  typed.key.assign(1, redisplay_key);
  return 1;
}

// libedit's read function: the characters of the keys typed, one at a time.
// Escape sequences the editor does not bind are dropped whole, so that none
// of their characters ends up in the line.
int read_key(EditLine* editor, wchar_t* c) {
  typed_lines& typed = typed_lines_of(editor);
  while (typed.key_at == typed.key.size()) {
    const int got = read_next_key(typed);
    if (got != 1) return got;
  }
  *c = typed.key[typed.key_at++];
  return 1;
}

// Sets up the editor: emacs keys, the prompt held back by console output,
// this run's history, the program's own reading of keys.
void set_up_editor(typed_lines& typed) {
  EditLine* editor = typed.editor;
  // Between lines, in what libedit calls its execute mode, the terminal
  // neither echoes nor collects lines: keys typed ahead wait for the editor.
  el_set(editor, EL_SETTY, "-x", "-echo", "-icanon", nullptr);
  el_set(editor, EL_EDITOR, "emacs");
  el_set(editor, EL_CLIENTDATA, &typed);
  el_set(editor, EL_PROMPT, prompt_of);
  el_set(editor, EL_GETCFN, read_key);
  // The wide call: libedit keeps these strings, where the narrow one would
  // copy them and never free the copies.
  el_wset(editor, EL_ADDFN, L"cardstow-end-or-delete",
          L"End of input on an empty line, else delete the character under "
          L"the cursor",
          end_or_delete);
  for (const key_binding& binding : key_bindings) {
    el_set(editor, EL_BIND, binding.keys, binding.command, nullptr);
  }
  HistEvent event;
  history(typed.history, &event, H_SETSIZE, history_size);
  history(typed.history, &event, H_SETUNIQUE, 1);
  el_set(editor, EL_HIST, history, typed.history);
}

// Adds `line` (without its line end) to the history Up and Down go through;
// empty lines are left out.
void remember(typed_lines& typed, std::string_view line) {
  if (line.empty()) return;
  std::string entry(line);
  // libedit drops one trailing space of a line it recalls.
  if (entry.back() == ' ') entry.push_back(' ');
  HistEvent event;
  history(typed.history, &event, H_ENTER, entry.c_str());
}

}  // namespace

typed_lines* open_typed_lines() {
  if (!isatty(0) || !isatty(1) || !terminal_is_known() ||
      tcgetattr(0, &found_modes) != 0 || !use_utf8_locale()) {
    return nullptr;
  }
  auto* typed = new typed_lines;
  typed->editor = el_init("cardstow", stdin, stdout, stderr);
  typed->history = history_init();
  if (typed->editor == nullptr || typed->history == nullptr) {
    if (typed->editor != nullptr) el_end(typed->editor);
    if (typed->history != nullptr) history_end(typed->history);
    delete typed;
    std::setlocale(LC_CTYPE, "C");
    return nullptr;
  }
  install_signal_handlers();
  set_up_editor(*typed);
  return typed;
}

bool read_typed_line(typed_lines& typed, std::string_view prompt,
                     std::string& line, int& error) {
  typed.prompt.assign(prompt);
  redraw_due = 0;  // the editor draws the line anew, at the window's size
  int count = 0;
  const char* got = el_gets(typed.editor, &count);
  std::fflush(stdout);
  if (got == nullptr || count <= 0) {
    if (typed.error != 0) error = typed.error;
    return false;
  }
  const std::string_view typed_line = got;
  line.append(typed_line);
  remember(typed, typed_line.substr(0, typed_line.find('\n')));
  return true;
}

void close_typed_lines(typed_lines* typed) {
  if (typed == nullptr) return;
  // libedit would flush what was typed ahead: the terminal is put back here.
  el_set(typed->editor, EL_EDITMODE, 0);
  el_end(typed->editor);
  history_end(typed->history);
  tcsetattr(0, TCSADRAIN, &found_modes);
  restore_signal_handlers();
  delete typed;
}
