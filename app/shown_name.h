// How a file name is shown to a person: with every character that could
// drive the terminal, hide itself or reorder the text around it escaped.
#ifndef CARDSTOW_APP_SHOWN_NAME_H_
#define CARDSTOW_APP_SHOWN_NAME_H_

#include <string>
#include <string_view>

// `name` as a person is shown it, so that what is shown is the name and
// nothing else, and the name can be read back from it byte for byte.
// Escaped, in the platform's notation (app/name_notation.h), are: tab, line
// feed, carriage return, the other C0 controls and DEL, the C1 controls and
// the invisible format characters and separators (Unicode 15 general
// categories Cf, Zl, Zp: U+0085, U+00AD, U+200B, U+2028, U+202E, U+FEFF,
// U+E0041), every byte that does not start a well-formed UTF-8 character
// (overlong forms, surrogates and anything past U+10FFFF included), each
// byte of it on its own, and the characters the notation starts with. On
// POSIX systems: \t \n \r \x1b \x7f \u0085 \U000e0041 \xff, and \\ for
// a backslash. On Windows, where the backslash shows as typed: <09> <0A>
// <0D> <1B> <7F> <U+0085> <U+E0041> <FF>, and <3C> <3E> for < and >.
// Everything else is kept as it is.
std::string shown_name(std::string_view name);

#endif  // CARDSTOW_APP_SHOWN_NAME_H_
