// How an escape is written in a name shown to a person (app/shown_name.h):
// the notation is the platform's, one file each, chosen by CMake. On POSIX
// systems it is C's (\x1b, \u200b, a backslash as \\); on Windows, where the
// backslash separates folders and shows as typed, it is <1B> and <U+200B>,
// since Windows refuses < and > in names.
#ifndef CARDSTOW_APP_NAME_NOTATION_H_
#define CARDSTOW_APP_NAME_NOTATION_H_

#include <string>

// Whether `code`, a character that would otherwise show as itself, is
// escaped all the same, since escapes start with it or could be mistaken for
// it: the backslash on POSIX systems; < and > on Windows.
bool is_notation_character(char32_t code);

// The escape that shows the character `code`: a control character, an
// invisible one, or one for which is_notation_character is true. Reads back
// to that one character and to no other.
std::string escape_for_character(char32_t code);

// The escape that shows `byte`, which starts no well-formed UTF-8 character.
// Reads back to that one byte; it differs from the escape of any character.
std::string escape_for_byte(unsigned char byte);

#endif  // CARDSTOW_APP_NAME_NOTATION_H_
