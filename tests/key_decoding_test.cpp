// Unit tests of the decoding of the keys a terminal sends.
#include "terminal/key_decoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every key of `bytes`, each in brackets when it is a sequence, with "~"
// where a sequence that is no key ended (not shown when a byte that breaks
// it ends it: that byte is shown), and "..." when a sequence is cut.
std::string keys_of(const std::string& bytes) {
  key_decoder decoder;
  std::string shown, key;
  for (const char byte : bytes) {
    switch (decode_key_byte(decoder, byte, key)) {
      case key_kind::text:
        shown += key;
        break;
      case key_kind::sequence:
        shown += "[" + key.substr(1) + "]";
        break;
      case key_kind::dropped:
        shown += "~";
        break;
      case key_kind::pending:
        break;
    }
  }
  if (decoder.at != key_decoder::state::ground) shown += "...";
  return shown;
}

TEST(KeyDecoding, TellsKeysFromText) {
  const struct {
    std::string bytes, keys;
  } cases[] = {
      {"Mara \xc3\xa9", "Mara \xc3\xa9"},
      {"a\x1b[Db", "a[[D]b"},                  // Left
      {"\x1b[1;5D\x1b[15~", "[[1;5D][[15~]"},  // Ctrl-Left, F5
      {"\x1bOA", "[OA]"},                      // Up, application mode
      {"\x1b"
       "b\x1bx\x1b\x7f\x1b\b",
       "[b][x][\x7f][\b]"},    // meta keys, Alt-Backspace as DEL or BS
      {"\x1b\x1b[A", "[[A]"},  // the first ESC of two dropped
      {"ab\x1b\r", "ab\r"},    // Esc then Enter is Enter
      {"ab\x1b\n", "ab\n"},
      {"a\x1b\xc3\xa9", "a\xc3\xa9"},        // ESC before a letter: dropped
      {"a\x1b[M !!b", "a~b"},                // mouse report, X10
      {"a\x1b[M\x1b[Ab", "a~b"},             // its three bytes are any bytes
      {"a\x1b[<0;12;5Mb", "a[[<0;12;5M]b"},  // SGR mouse: a CSI, not bound
      {"a\x1b]11;rgb:0/0/0\x07"
       "b",
       "a~b"},                         // OSC reply ended by BEL
      {"a\x1bP1$r0m\x1b\\b", "a~b"},   // DCS reply ended by ESC backslash
      {"a\x1b]2;x\x1b[Ab", "a[[A]b"},  // ESC without backslash
      {"a\x1b]2;title\rb", "a\rb"},    // a line end ends a reply
      {"a\x1b[1\x01"
       "b",
       "a\x01"
       "b"},  // a control breaks a CSI
      {"a\x1bO\x01", "a\x01"},
      {"a\x1b[" + std::string(40, '1') + "Db", "a~b"},  // overlong
      {"a\r\nb\n\r\r\n", "a\r~b\n\r\r~"},  // the LF of CR LF: one line end
      {"a\r\x1b[A\n", "a\r[[A]\n"},        // apart, two
      {"a\x1b\r\n", "a\r~"},
      {"a\x1b[1;", "a..."},  // cut: waits for the rest
      {"a\x1b]2;x", "a..."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(keys_of(c.bytes), c.keys)
        << "bytes: " << testing::PrintToString(c.bytes);
  }
}

// The terminal's answer to ESC [ 6 n, where the editor asks for its cursor
// after a resize.
TEST(KeyDecoding, ReadsTheCursorColumnOfAPositionReport) {
  const struct {
    std::string key;
    int column;
  } cases[] = {
      {"\x1b[12;5R", 4}, {"\x1b[1;1R", 0}, {"\x1b[30;120R", 119},
      {"\x1b[5R", -1},   {"\x1b[A", -1},   {"\x1b[1;5D", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reported_cursor_column(c.key), c.column)
        << "key: " << testing::PrintToString(c.key);
  }
}

}  // namespace
