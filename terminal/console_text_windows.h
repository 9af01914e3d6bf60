// Text between cardstow's UTF-8 and the Windows console's UTF-16: the
// conversions of terminal_windows.cpp and typed_lines_windows.cpp, apart from
// the console calls so that they can be tested.
#ifndef CARDSTOW_TERMINAL_CONSOLE_TEXT_WINDOWS_H_
#define CARDSTOW_TERMINAL_CONSOLE_TEXT_WINDOWS_H_

#include <string>
#include <string_view>

// The UTF-16 text of `bytes`, UTF-8 output written in pieces that may cut a
// character: `held` holds what the previous piece left of the character it
// cut (at most 3 bytes) and goes first; what `bytes` leaves of a character
// cut at its end is kept in `held` for the next piece. Bytes that are no
// UTF-8 show as U+FFFD.
std::wstring console_text_of(std::string& held, std::string_view bytes);

// Appends to `line` the UTF-8 of `wide`, a line read from the console with
// its CR LF, and one "\n" for the line end. Control characters (U+0000 to
// U+001F and U+007F to U+009F) are left out, as the line editor leaves them
// out elsewhere, all but Tab, which separates numbers and is part of a text
// answer, as in an answers file. A Ctrl-Z (U+001A) anywhere ends input
// there, as it does in an answers file: only what comes before it is
// appended, with no line end, and the result is false. A surrogate without
// its pair becomes U+FFFD.
bool typed_line_of(std::wstring_view wide, std::string& line);

#endif  // CARDSTOW_TERMINAL_CONSOLE_TEXT_WINDOWS_H_
