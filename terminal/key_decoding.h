// Keys told apart in the bytes a terminal sends: text, control keys, and the
// escape sequences of function keys, meta keys, mouse reports and terminal
// replies. Pure functions over bytes.
#ifndef CARDSTOW_TERMINAL_KEY_DECODING_H_
#define CARDSTOW_TERMINAL_KEY_DECODING_H_

#include <string>
#include <string_view>

// What a byte typed gave.
enum class key_kind {
  pending,   // part of an escape sequence not yet complete
  text,      // a byte of text or a control key, as it came
  sequence,  // a whole key sequence: CSI ("ESC [" ... final), SS3 ("ESC O"
             // and one character) or a meta key ("ESC" and one character,
             // Alt-Backspace "ESC DEL" and "ESC BS" included)
  dropped,   // the end of a sequence that is never a key: a mouse report, a
             // terminal reply (OSC, DCS, APC, PM, SOS), an overlong CSI; or
             // the LF of a CR LF line end
};

// Where the decoding of the bytes typed stands; starts between keys.
struct key_decoder {
  enum class state { ground, escape, csi, ss3, mouse, string, string_escape };
  state at = state::ground;
  std::string sequence;       // the escape sequence read so far
  int mouse_left = 0;         // bytes of a mouse report still to come
  bool after_return = false;  // the last key was CR: an LF now ends nothing
};

// Takes the next byte typed. For key_kind::text and key_kind::sequence puts
// the key's bytes in `key` (replacing what it held). Of ESC ESC the first is
// dropped; ESC then a line end is the line end (as if ESC were not typed);
// ESC then a byte that cannot follow it drops the ESC, and a byte that breaks
// a sequence drops the sequence: that byte is then taken anew. A terminal
// reply ends at BEL or ESC \, or at a line end, which is then taken as text.
// CR and LF are each a line end, but an LF right after a CR is dropped: a
// CR LF line end is one key, also when its two bytes come in separate reads.
key_kind decode_key_byte(key_decoder& decoder, char byte, std::string& key);

// The column, counted from 0, of a cursor position report (ESC [ row ;
// column R, the terminal's answer to ESC [ 6 n) given as `key`; -1 when `key`
// is no such report.
int reported_cursor_column(std::string_view key);

#endif  // CARDSTOW_TERMINAL_KEY_DECODING_H_
