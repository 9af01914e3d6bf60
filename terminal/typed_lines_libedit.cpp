// Lines typed at a terminal, edited with libedit (POSIX): emacs keys, whole
// characters, the answers of this run recalled with Up and Down, file names
// completed with Tab, answers held to the bytes they keep.
//
// Between lines the terminal neither echoes nor collects lines, so that keys
// typed ahead of a prompt wait unseen until the editor shows them after the
// prompt; terminal/terminal_signals_posix.h puts the terminal back when a
// signal ends or stops the program. Keys are read and decoded here
// (terminal/key_decoding.h), not by libedit: only keys the editor binds reach
// it, so no escape sequence, meta command or unprintable character gets into
// a line.
#include <dirent.h>
#include <histedit.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/stat.h>
#include <termcap.h>
#include <termios.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/file_name_completion_posix.h"
#include "terminal/key_decoding.h"
#include "terminal/plain_lines_posix.h"
#include "terminal/terminal.h"
#include "terminal/terminal_signals_posix.h"

struct typed_lines {
  EditLine* editor = nullptr;  // null: the terminal's own lines, `plain`
  plain_lines plain;
  std::string prompt;  // what the editor shows before the line
  typed_answer answer;
  char bytes[256];  // read from the terminal, not yet decoded
  std::size_t bytes_at = 0, bytes_end = 0;
  key_decoder keys;
  std::mbstate_t decoding{};
  std::wstring key;        // the key being handed to the editor
  std::size_t key_at = 0;  // how much of it was handed over
  bool refusing = false;   // a character did not fit; so do those after it
  bool rang = false;       // the bell rang for what was read last
  bool tabbed = false;     // the last key was a Tab that listed nothing
  std::vector<std::string> history;  // the lines typed, oldest first
  std::size_t recalled = 0;          // the one shown; history.size(): none
  std::string edited;                // the line being typed, while recalled
  int error = 0;                     // errno of a failed read of the terminal
};

namespace {

// The terminal's modes as found.
termios found_modes;

// The editing keys, bound over libedit's emacs defaults as its "bind"
// command takes them. Escape sequences and meta keys not listed here are
// dropped whole by read_key.
struct key_binding {
  const char* keys;
  const char* command;
};
constexpr key_binding key_bindings[] = {
    {"^A", "ed-move-to-beg"},
    {"^E", "ed-move-to-end"},
    {"^B", "cardstow-prev-char"},
    {"^F", "cardstow-next-char"},
    {"^H", "cardstow-delete-prev-char"},
    {"^?", "cardstow-delete-prev-char"},
    {"^U", "vi-kill-line-prev"},    // to the start of the line, as shells do
    {"^K", "ed-kill-line"},         // to its end
    {"^W", "ed-delete-prev-word"},  // the word before the cursor
    {"^D", "cardstow-end-or-delete"},
    {"^P", "cardstow-prev-history"},
    {"^N", "cardstow-next-history"},
    {"^I", "cardstow-complete"},
    {"^V", "ed-unassigned"},  // no literal control characters in an answer
    {"^T", "ed-unassigned"},  // would split a character from its accents
    {"^Y", "ed-unassigned"},  // would take the line past its limit
    {"^X", "ed-unassigned"},
    {"^@", "ed-unassigned"},
    {"^]", "ed-unassigned"},
    {"^_", "ed-unassigned"},
    {"^R", "ed-redisplay"},
    {"\033b", "ed-prev-word"},
    {"\033f", "em-next-word"},
    {"\033d", "em-delete-next-word"},
    {"\033[A", "cardstow-prev-history"},
    {"\033OA", "cardstow-prev-history"},
    {"\033[B", "cardstow-next-history"},
    {"\033OB", "cardstow-next-history"},
    {"\033[C", "cardstow-next-char"},
    {"\033OC", "cardstow-next-char"},
    {"\033[D", "cardstow-prev-char"},
    {"\033OD", "cardstow-prev-char"},
    {"\033[H", "ed-move-to-beg"},
    {"\033OH", "ed-move-to-beg"},
    {"\033[1~", "ed-move-to-beg"},
    {"\033[7~", "ed-move-to-beg"},
    {"\033[F", "ed-move-to-end"},
    {"\033OF", "ed-move-to-end"},
    {"\033[4~", "ed-move-to-end"},
    {"\033[8~", "ed-move-to-end"},
    {"\033[3~", "cardstow-delete-next-char"},
};

// Whether `keys`, as a terminal sends them, is an escape sequence listed in
// key_bindings.
bool is_bound(std::string_view keys) {
  return std::any_of(std::begin(key_bindings), std::end(key_bindings),
                     [&](const key_binding& b) { return keys == b.keys; });
}

// Whether TERM names a terminal the terminal database knows, other than
// "dumb".
bool terminal_is_known() {
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0) {
    return false;
  }
  return tgetent(nullptr, term) == 1;
}

// Takes the character set from the environment (LC_ALL, LC_CTYPE, LANG).
// Where none is chosen (the C or POSIX locale) the editor works in UTF-8:
// C.UTF-8 where the system has it. False when no locale can be set.
bool use_locale() {
  const char* chosen = std::setlocale(LC_CTYPE, "");
  if (chosen == nullptr) chosen = std::setlocale(LC_CTYPE, "C");
  const bool none =
      std::strcmp(chosen, "C") == 0 || std::strcmp(chosen, "POSIX") == 0;
  if (none && std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr &&
      std::setlocale(LC_CTYPE, "C.utf8") == nullptr) {
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  }
  return true;
}

typed_lines& typed_lines_of(EditLine* editor) {
  void* data = nullptr;
  el_get(editor, EL_CLIENTDATA, &data);
  return *static_cast<typed_lines*>(data);
}

char* prompt_of(EditLine* editor) {
  return typed_lines_of(editor).prompt.data();
}

void ring_bell() {
  std::fputs("\a", stdout);
  std::fflush(stdout);
}

// The bytes of the line being edited.
std::string_view line_bytes(EditLine* editor) {
  const LineInfo* line = el_line(editor);
  return {line->buffer,
          static_cast<std::size_t>(line->lastchar - line->buffer)};
}

// The longest start of `text` that holds whole characters of the locale's
// character set and at most `room` bytes.
std::string_view fitting_start(std::string_view text, std::size_t room) {
  std::mbstate_t state{};
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t length =
        std::mbrlen(text.data() + end, text.size() - end, &state);
    if (length == 0 || length > text.size()) length = 1;
    if (end + length > room) break;
    end += length;
  }
  return text.substr(0, end);
}

// Room left in the line for the answer being typed; SIZE_MAX for no limit.
std::size_t room_left(typed_lines& typed) {
  if (typed.answer.most_bytes == 0) return SIZE_MAX;
  const std::size_t used = line_bytes(typed.editor).size();
  return used >= typed.answer.most_bytes ? 0 : typed.answer.most_bytes - used;
}

// Whether the character `c` fits the line; one that does not rings the bell
// (once for what was read at once, as for a paste) and so does not any
// character after it until another key is typed.
bool fits(typed_lines& typed, wchar_t c) {
  char bytes[MB_LEN_MAX];
  std::mbstate_t state{};
  const std::size_t length = std::wcrtomb(bytes, c, &state);
  if (!typed.refusing &&
      (length == static_cast<std::size_t>(-1) || length <= room_left(typed))) {
    return true;
  }
  typed.refusing = true;
  if (!typed.rang) ring_bell();
  typed.rang = true;
  return false;
}

// Editing functions over whole characters: a character and the combining
// marks after it move and go together.

// How many characters Left steps over from the cursor.
int characters_before(const LineInfoW* line) {
  const wchar_t* at = line->cursor;
  if (at == line->buffer) return 0;
  --at;
  while (at > line->buffer && is_combining(*at)) --at;
  return static_cast<int>(line->cursor - at);
}

// How many characters Right steps over from the cursor.
int characters_after(const LineInfoW* line) {
  const wchar_t* at = line->cursor;
  if (at == line->lastchar) return 0;
  ++at;
  while (at < line->lastchar && is_combining(*at)) ++at;
  return static_cast<int>(at - line->cursor);
}

unsigned char previous_character(EditLine* editor, int) {
  const int count = characters_before(el_wline(editor));
  if (count == 0) return CC_ERROR;
  el_cursor(editor, -count);
  return CC_CURSOR;
}

unsigned char next_character(EditLine* editor, int) {
  const int count = characters_after(el_wline(editor));
  if (count == 0) return CC_ERROR;
  el_cursor(editor, count);
  return CC_CURSOR;
}

// The line is drawn anew after a deletion: libedit's own redraw leaves the
// combining marks of a deleted character on the screen.
unsigned char delete_previous_character(EditLine* editor, int) {
  const int count = characters_before(el_wline(editor));
  if (count == 0) return CC_ERROR;
  el_wdeletestr(editor, count);
  return CC_REDISPLAY;
}

unsigned char delete_next_character(EditLine* editor, int) {
  const int count = characters_after(el_wline(editor));
  if (count == 0) return CC_ERROR;
  el_cursor(editor, count);
  el_wdeletestr(editor, count);
  return CC_REDISPLAY;
}

// Ctrl-D: the end of input on an empty line, else deletes the character
// under the cursor. Unlike libedit's own, it never shows "^D".
unsigned char end_or_delete(EditLine* editor, int key) {
  const LineInfoW* line = el_wline(editor);
  if (line->buffer == line->lastchar) return CC_EOF;
  return delete_next_character(editor, key);
}

// Replaces the line with `text`, cut to the answer's room.
void replace_line(typed_lines& typed, const std::string& text) {
  EditLine* editor = typed.editor;
  el_cursor(editor, INT_MAX);
  const LineInfoW* line = el_wline(editor);
  el_wdeletestr(editor, static_cast<int>(line->cursor - line->buffer));
  const std::size_t room =
      typed.answer.most_bytes == 0 ? SIZE_MAX : typed.answer.most_bytes;
  el_insertstr(editor, std::string(fitting_start(text, room)).c_str());
}

// Up: the line typed before the one shown; the line being typed is kept.
unsigned char previous_line(EditLine* editor, int) {
  typed_lines& typed = typed_lines_of(editor);
  if (typed.recalled == 0) return CC_ERROR;
  if (typed.recalled == typed.history.size()) {
    typed.edited.assign(line_bytes(editor));
  }
  replace_line(typed, typed.history[--typed.recalled]);
  return CC_REFRESH;
}

// Down: the line typed after the one shown, or the line being typed.
unsigned char next_line(EditLine* editor, int) {
  typed_lines& typed = typed_lines_of(editor);
  if (typed.recalled == typed.history.size()) return CC_ERROR;
  ++typed.recalled;
  replace_line(typed, typed.recalled == typed.history.size()
                          ? typed.edited
                          : typed.history[typed.recalled]);
  return CC_REFRESH;
}

// Inserts `text` at the cursor, cut to the room left; true when it fits.
bool insert_fitting(typed_lines& typed, std::string_view text) {
  const std::string_view fitting = fitting_start(text, room_left(typed));
  if (!fitting.empty())
    el_insertstr(typed.editor, std::string(fitting).c_str());
  return fitting.size() == text.size();
}

// Tab at the file-name prompt: completes the name before the cursor; where
// it is the start of several names, the next Tab lists them under the line.
// At other prompts nothing.
unsigned char complete_name(EditLine* editor, int) {
  typed_lines& typed = typed_lines_of(editor);
  if (!typed.answer.names_file) return CC_NORM;
  const LineInfo* line = el_line(editor);
  const file_name_completion completion = complete_file_name(std::string_view(
      line->buffer, static_cast<std::size_t>(line->cursor - line->buffer)));
  const bool listed_next = typed.tabbed;
  typed.tabbed = completion.matches.size() > 1;
  if (!completion.added.empty()) {
    return insert_fitting(typed, completion.added) ? CC_REFRESH
                                                   : CC_REFRESH_BEEP;
  }
  if (completion.matches.size() < 2 || !listed_next) return CC_ERROR;
  std::fputs("\n", stdout);
  for (const std::string& name : completion.matches) {
    std::fputs(name.c_str(), stdout);
    std::fputs(&name == &completion.matches.back() ? "\n" : "  ", stdout);
  }
  return CC_REDISPLAY;
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
  while (ready == 0 && !terminal_redraw_due) {
    ready = ppoll(&input, 1, nullptr, &others);
    if (ready < 0 && errno == EINTR) ready = 0;
  }
  if (ready < 0) typed.error = errno;
  sigprocmask(SIG_SETMASK, &others, nullptr);
  if (ready < 0) return read_failed;
  return ready > 0 ? 1 : redraw;
}

// Reads more bytes from the terminal: 1 when some came, 0 at its end,
// redraw or read_failed. A read that is interrupted or would block waits
// and reads again.
int read_bytes(typed_lines& typed) {
  for (;;) {
    // Bytes already waiting belong to the keys read before them, as a paste
    // does: the bell rings once for all of them.
    pollfd waiting{0, POLLIN, 0};
    if (poll(&waiting, 1, 0) != 1) typed.rang = false;
    const int ready = wait_for_input(typed);
    if (ready != 1) return ready;
    // One byte at a time: keys typed after the last line stay unread on the
    // terminal, for whatever reads it once the program has ended.
    const ssize_t got = read(0, typed.bytes, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got < 0) typed.error = errno;
    if (got < 0) return read_failed;
    typed.bytes_at = 0;
    typed.bytes_end = static_cast<std::size_t>(got);
    return got > 0 ? 1 : 0;
  }
}

// The columns the terminal shows, as the editor knows them.
int columns_of(EditLine* editor) {
  int columns = 0;
  el_get(editor, EL_GETTC, "co", &columns, nullptr);
  return columns > 0 ? columns : 80;
}

// How many columns `text`, in the locale's character set, takes.
std::size_t width_of(std::string_view text) {
  std::wstring wide(text.size(), L'\0');
  const std::size_t count =
      std::mbstowcs(wide.data(), std::string(text).c_str(), wide.size());
  if (count == static_cast<std::size_t>(-1)) return text.size();
  const int width = ::wcswidth(wide.data(), count);
  return width < 0 ? count : static_cast<std::size_t>(width);
}

// Takes the window's new size. The terminal has rewrapped the rows of the
// line to it, while the editor, which redraws from where it believes the
// line starts, counts rows at the old width: the cursor goes to the start of
// the line, all below is cleared, and the cursor goes down as many rows as
// the editor believes, so that its redraw starts where the line starts and
// leaves no copy behind.
void resize(typed_lines& typed) {
  const int before = columns_of(typed.editor);
  el_resize(typed.editor);
  const int after = columns_of(typed.editor);
  if (after == before) return;
  const LineInfo* line = el_line(typed.editor);
  const std::size_t at =
      width_of(typed.prompt) +
      width_of(std::string_view(
          line->buffer, static_cast<std::size_t>(line->cursor - line->buffer)));
  const std::size_t rows_now = at / static_cast<std::size_t>(after);
  const std::size_t rows_believed = at / static_cast<std::size_t>(before);
  if (rows_now > 0) std::fprintf(stdout, "\033[%zuA", rows_now);
  std::fputs("\r\033[J", stdout);
  for (std::size_t i = 0; i < rows_believed; ++i) std::fputs("\n", stdout);
  std::fflush(stdout);
}

bool is_control_key(wchar_t c) { return c < 0x20 || c == 0x7f; }

// Takes the bytes of a text key into the character being decoded; true
// with `c` set once a character is whole and the editor takes it. Bytes
// that are no character of the locale's set are dropped.
bool take_character(typed_lines& typed, const std::string& bytes, wchar_t& c) {
  const std::size_t used =
      std::mbrtowc(&c, bytes.data(), bytes.size(), &typed.decoding);
  if (used == static_cast<std::size_t>(-2)) return false;
  if (used == static_cast<std::size_t>(-1)) {
    typed.decoding = {};
    return false;
  }
  if (is_control_key(c)) return true;
  return is_taken_into_line(c) && fits(typed, c);
}

// Reads the next key typed into typed.key: 1, 0 at the end of input, or
// read_failed. Asks for a redraw when one is due.
int read_next_key(typed_lines& typed) {
  typed.key.clear();
  typed.key_at = 0;
  std::string bytes;
  for (;;) {
    if (typed.bytes_at == typed.bytes_end) {
      const int got = read_bytes(typed);
      if (got == redraw) break;
      if (got != 1) return got;
    }
    const key_kind kind =
        decode_key_byte(typed.keys, typed.bytes[typed.bytes_at++], bytes);
    if (kind == key_kind::sequence) {
      typed.decoding = {};
      if (!is_bound(bytes)) continue;
      typed.key.assign(bytes.begin(), bytes.end());
      typed.refusing = false;
      return 1;
    }
    wchar_t c;
    if (kind != key_kind::text || !take_character(typed, bytes, c)) continue;
    typed.key.assign(1, c);
    if (is_control_key(c)) typed.refusing = false;
    if (c != L'\t') typed.tabbed = false;
    return 1;
  }
  terminal_redraw_due = 0;
  resize(typed);
  typed.key.assign(1, redisplay_key);
  return 1;
}

// libedit's read function: the characters of the keys typed, one at a time.
int read_key(EditLine* editor, wchar_t* c) {
  typed_lines& typed = typed_lines_of(editor);
  while (typed.key_at == typed.key.size()) {
    const int got = read_next_key(typed);
    if (got != 1) return got;
  }
  *c = typed.key[typed.key_at++];
  return 1;
}

// The wide call: libedit keeps these strings, where the narrow one would
// copy them and never free the copies.
void add_function(EditLine* editor, const wchar_t* name, const wchar_t* help,
                  unsigned char (*function)(EditLine*, int)) {
  el_wset(editor, EL_ADDFN, name, help, function);
}

void add_functions(EditLine* editor) {
  add_function(editor, L"cardstow-prev-char", L"Back one character",
               previous_character);
  add_function(editor, L"cardstow-next-char", L"On one character",
               next_character);
  add_function(editor, L"cardstow-delete-prev-char",
               L"Delete the character before the cursor",
               delete_previous_character);
  add_function(editor, L"cardstow-delete-next-char",
               L"Delete the character under the cursor", delete_next_character);
  add_function(editor, L"cardstow-end-or-delete",
               L"End of input on an empty line, else delete the character "
               L"under the cursor",
               end_or_delete);
  add_function(editor, L"cardstow-prev-history", L"The line typed before",
               previous_line);
  add_function(editor, L"cardstow-next-history", L"The line typed after",
               next_line);
  add_function(editor, L"cardstow-complete", L"Complete a file name",
               complete_name);
}

// Sets up the editor: emacs keys, the prompt held back by console output,
// the program's own reading of keys.
void set_up_editor(typed_lines& typed) {
  EditLine* editor = typed.editor;
  // Between lines, in what libedit calls its execute mode, the terminal
  // neither echoes nor collects lines: keys typed ahead wait for the editor.
  el_set(editor, EL_SETTY, "-x", "-echo", "-icanon", nullptr);
  el_set(editor, EL_EDITOR, "emacs");
  el_set(editor, EL_CLIENTDATA, &typed);
  el_set(editor, EL_PROMPT, prompt_of);
  el_set(editor, EL_GETCFN, read_key);
  add_functions(editor);
  for (const key_binding& binding : key_bindings) {
    el_set(editor, EL_BIND, binding.keys, binding.command, nullptr);
  }
}

// Adds `line` (without its line end) to the lines Up and Down go through;
// an empty line, or the one typed just before again, is left out.
void remember(typed_lines& typed, std::string_view line) {
  if (line.empty()) return;
  if (!typed.history.empty() && typed.history.back() == line) return;
  typed.history.emplace_back(line);
}

// The editor, or nullptr where libedit does not start.
typed_lines* open_editor() {
  auto* typed = new typed_lines;
  typed->editor = el_init("cardstow", stdin, stdout, stderr);
  if (typed->editor == nullptr) {
    delete typed;
    return nullptr;
  }
  install_terminal_signal_handlers(found_modes);
  set_up_editor(*typed);
  return typed;
}

}  // namespace

typed_lines* open_typed_lines() {
  if (!isatty(0) || tcgetattr(0, &found_modes) != 0) return nullptr;
  typed_lines* typed = nullptr;
  if (isatty(1) && terminal_is_known() && use_locale()) typed = open_editor();
  if (typed == nullptr) {
    std::setlocale(LC_CTYPE, "C");
    typed = new typed_lines;
  }
  return typed;
}

bool read_typed_line(typed_lines& typed, std::string_view prompt,
                     const typed_answer& answer, std::string& line,
                     int& error) {
  if (typed.editor == nullptr) {
    return read_plain_line(typed.plain, prompt, line, error);
  }
  typed.prompt.assign(prompt);
  typed.answer = answer;
  typed.refusing = typed.tabbed = false;
  typed.recalled = typed.history.size();
  terminal_redraw_due =
      0;  // the editor draws the line anew, at the window's size
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
  if (typed->editor != nullptr) {
    // libedit would flush what was typed ahead: the terminal is put back here.
    el_set(typed->editor, EL_EDITMODE, 0);
    el_end(typed->editor);
    tcsetattr(0, TCSADRAIN, &found_modes);
    remove_terminal_signal_handlers();
  }
  delete typed;
}
