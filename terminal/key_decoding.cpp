// Decoding of terminal keys: a small state machine over the bytes typed,
// after the ECMA-48 forms of escape sequences.
#include "terminal/key_decoding.h"

#include <charconv>

namespace {

using state = key_decoder::state;

constexpr char escape = '\x1b';

// A CSI longer than this is no key: it is dropped whole.
constexpr std::size_t longest_sequence = 32;

bool is_line_end(char byte) { return byte == '\r' || byte == '\n'; }

bool in_range(char byte, int low, int high) {
  const int b = static_cast<unsigned char>(byte);
  return b >= low && b <= high;
}

// The first byte of a key.
key_kind start(key_decoder& decoder, char byte, std::string& key) {
  const bool line_feed_after_return = decoder.after_return && byte == '\n';
  decoder.after_return = byte == '\r';
  if (line_feed_after_return) return key_kind::dropped;
  if (byte == escape) {
    decoder.at = state::escape;
    decoder.sequence.assign(1, escape);
    return key_kind::pending;
  }
  key.assign(1, byte);
  return key_kind::text;
}

key_kind finish(key_decoder& decoder, key_kind kind, std::string& key) {
  if (kind == key_kind::sequence) key = decoder.sequence;
  decoder.at = state::ground;
  decoder.sequence.clear();
  return kind;
}

// The byte after ESC.
key_kind after_escape(key_decoder& decoder, char byte, std::string& key) {
  if (byte == escape) return key_kind::pending;
  if (byte == '\x7f' || byte == '\b') {  // Alt-Backspace
    decoder.sequence.push_back(byte);
    return finish(decoder, key_kind::sequence, key);
  }
  if (is_line_end(byte) || !in_range(byte, 0x20, 0x7e)) {
    decoder.at = state::ground;
    decoder.sequence.clear();
    return start(decoder, byte, key);
  }
  decoder.sequence.push_back(byte);
  switch (byte) {
    case '[':
      decoder.at = state::csi;
      return key_kind::pending;
    case 'O':
      decoder.at = state::ss3;
      return key_kind::pending;
    case ']':
    case 'P':
    case '_':
    case '^':
    case 'X':
      decoder.at = state::string;
      return key_kind::pending;
  }
  return finish(decoder, key_kind::sequence, key);
}

// A byte of a CSI: parameters and intermediates, then its final byte.
key_kind in_csi(key_decoder& decoder, char byte, std::string& key) {
  if (byte == 'M' && decoder.sequence.size() == 2) {
    decoder.at = state::mouse;  // ESC [ M and three bytes
    decoder.mouse_left = 3;
    return key_kind::pending;
  }
  if (in_range(byte, 0x20, 0x3f)) {
    if (decoder.sequence.size() < longest_sequence) {
      decoder.sequence.push_back(byte);
    }
    return key_kind::pending;
  }
  if (in_range(byte, 0x40, 0x7e)) {
    const bool overlong = decoder.sequence.size() >= longest_sequence;
    decoder.sequence.push_back(byte);
    return finish(decoder, overlong ? key_kind::dropped : key_kind::sequence,
                  key);
  }
  finish(decoder, key_kind::dropped, key);
  return start(decoder, byte, key);
}

key_kind in_ss3(key_decoder& decoder, char byte, std::string& key) {
  if (!in_range(byte, 0x20, 0x7e)) {
    finish(decoder, key_kind::dropped, key);
    return start(decoder, byte, key);
  }
  decoder.sequence.push_back(byte);
  return finish(decoder, key_kind::sequence, key);
}

// A byte of a terminal reply, which ends at BEL or at ESC \.
key_kind in_string(key_decoder& decoder, char byte, std::string& key) {
  if (byte == '\a') return finish(decoder, key_kind::dropped, key);
  if (byte == escape) {
    decoder.at = state::string_escape;
    return key_kind::pending;
  }
  if (is_line_end(byte)) {
    finish(decoder, key_kind::dropped, key);
    return start(decoder, byte, key);
  }
  return key_kind::pending;
}

}  // namespace

key_kind decode_key_byte(key_decoder& decoder, char byte, std::string& key) {
  switch (decoder.at) {
    case state::ground:
      return start(decoder, byte, key);
    case state::escape:
      return after_escape(decoder, byte, key);
    case state::csi:
      return in_csi(decoder, byte, key);
    case state::ss3:
      return in_ss3(decoder, byte, key);
    case state::mouse:
      if (--decoder.mouse_left > 0) return key_kind::pending;
      return finish(decoder, key_kind::dropped, key);
    case state::string:
      return in_string(decoder, byte, key);
    case state::string_escape:
      if (byte == '\\') return finish(decoder, key_kind::dropped, key);
      // ESC without its backslash: the reply ends, a new key begins.
      decoder.at = state::escape;
      decoder.sequence.assign(1, escape);
      return after_escape(decoder, byte, key);
  }
  return key_kind::pending;
}

int reported_cursor_column(std::string_view key) {
  if (key.size() < 6 || key.substr(0, 2) != "\x1b[" || key.back() != 'R') {
    return -1;
  }
  const std::size_t semicolon = key.find(';');
  if (semicolon == std::string_view::npos) return -1;
  int column = 0;
  std::from_chars(key.data() + semicolon + 1, key.data() + key.size(), column);
  return column - 1;
}
