// Lines typed at a terminal without the editor, echoed key by key.
#include "terminal/plain_lines_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include "terminal/line_editing.h"
#include "terminal/screen_layout.h"
#include "terminal/terminal.h"
#include "text/unicode.h"
#include "text/utf8.h"

namespace {

void echo(const plain_lines& plain, std::string_view bytes) {
  if (plain.echo < 0) return;
  while (!bytes.empty()) {
    const ssize_t put = write(plain.echo, bytes.data(), bytes.size());
    if (put <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

// Erases from the screen what `erase` took off the end of the line.
void erase_end(const plain_lines& plain, edited_line& line,
               bool (*erase)(edited_line&)) {
  const std::string before = line.text;
  if (!erase(line)) return;
  const int width = text_width(std::string_view(before).substr(line.cursor));
  const std::string back(static_cast<std::size_t>(width), '\b');
  echo(plain, back + std::string(static_cast<std::size_t>(width), ' ') + back);
}

// Takes `key` into the line at its end: text the line takes, and Tab.
void take_key(const plain_lines& plain, edited_line& line,
              const std::string& key) {
  char32_t code = 0;
  utf8_decode(key, code);
  const bool text = plain.input.utf8 ? is_taken_into_line(code)
                                     : key[0] < 0 || key[0] >= 0x20;
  if (key != "\t" && !text) return;
  insert_text(line, key, 0);
  echo(plain, key);
}

}  // namespace

int plain_echo_descriptor() {
  const int access = fcntl(0, F_GETFL) & O_ACCMODE;
  if (access == O_RDWR || access == O_WRONLY) return 0;
  return isatty(1) ? 1 : -1;
}

bool read_plain_line(plain_lines& plain, std::string_view prompt,
                     std::string& line, int& error) {
  int ignored = 0;
  write_standard_output(prompt, ignored);
  edited_line typed;
  std::string key;
  for (;;) {
    const key_read got = read_key(plain.input, key, error);
    if (got == key_read::ended || got == key_read::failed) return false;
    if (got != key_read::key || key[0] == '\x1b') continue;
    if (key == "\r" || key == "\n") {
      echo(plain, "\n");
      line += typed.text + "\n";
      return true;
    }
    if (key == "\x04") {
      if (typed.text.empty()) return false;
      line += typed.text;
      return true;
    }
    if (key == "\x7f" || key == "\b") erase_end(plain, typed, delete_before);
    if (key == "\x15") erase_end(plain, typed, kill_to_start);
    if (key == "\x17") erase_end(plain, typed, kill_to_space_before);
    if (key != "\x7f") take_key(plain, typed, key);
  }
}
