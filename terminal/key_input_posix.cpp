// Reading keys from a terminal in raw mode, byte by byte.
#include "terminal/key_input_posix.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "terminal/terminal_signals_posix.h"
#include "text/utf8.h"

namespace {

// The signal mask while waiting for a key: the program's own, with SIGCONT
// and SIGWINCH let through.
sigset_t waiting_mask;

sigset_t redraw_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGCONT);
  sigaddset(&signals, SIGWINCH);
  return signals;
}

// Waits until a byte can be read: 1, 0 when a redraw is due first, or -1 on
// an error (errno set).
int wait_for_byte() {
  pollfd input{0, POLLIN, 0};
  for (;;) {
    if (terminal_redraw_due) return 0;
    const int ready = ppoll(&input, 1, nullptr, &waiting_mask);
    if (ready > 0) return 1;
    if (ready < 0 && errno != EINTR && errno != EAGAIN) return -1;
  }
}

// Takes one byte of text into the character being put together; true with
// the character in `key` once it is whole and well-formed.
bool take_text_byte(key_input& input, char byte, std::string& key) {
  const bool continues = (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u;
  if (!continues) input.character.clear();
  if (continues && input.character.empty()) return false;
  input.character += byte;
  const std::size_t length = utf8_lead_length(input.character[0]);
  if (input.character.size() < length) return false;
  char32_t code = 0;
  const bool whole = utf8_decode(input.character, code) == length;
  if (whole) key.swap(input.character);
  input.character.clear();
  return whole;
}

}  // namespace

key_read read_key(key_input& input, std::string& key, int& error) {
  std::string decoded;
  for (;;) {
    const int ready = wait_for_byte();
    if (ready == 0) {
      terminal_redraw_due = 0;
      return key_read::redraw;
    }
    char byte = 0;
    const ssize_t got = ready < 0 ? -1 : read(0, &byte, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got < 0) error = errno;
    if (got < 0) return key_read::failed;
    if (got == 0) return key_read::ended;
    const key_kind kind = decode_key_byte(input.decoder, byte, decoded);
    if (kind == key_kind::sequence) {
      input.character.clear();
      key.swap(decoded);
      return key_read::key;
    }
    if (kind == key_kind::text && !input.utf8) {
      key.swap(decoded);
      return key_read::key;
    }
    if (kind == key_kind::text && take_text_byte(input, decoded[0], key)) {
      return key_read::key;
    }
  }
}

bool key_waiting() {
  pollfd input{0, POLLIN, 0};
  return poll(&input, 1, 0) == 1;
}

bool wait_for_key(int milliseconds) {
  pollfd input{0, POLLIN, 0};
  return poll(&input, 1, milliseconds) == 1;
}

termios raw_key_modes(const termios& found) {
  termios modes = found;
  modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
  modes.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
  modes.c_oflag |= OPOST | ONLCR;  // a line feed starts the next row
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  return modes;
}

void block_redraw_signals() {
  const sigset_t signals = redraw_signals();
  sigprocmask(SIG_BLOCK, &signals, &waiting_mask);
  sigdelset(&waiting_mask, SIGCONT);
  sigdelset(&waiting_mask, SIGWINCH);
}

void unblock_redraw_signals() {
  const sigset_t signals = redraw_signals();
  sigprocmask(SIG_UNBLOCK, &signals, nullptr);
}
