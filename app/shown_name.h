// How a file name is shown to a person: with every character that could
// drive the terminal, hide itself or reorder the text around it escaped.
#ifndef CARDSTOW_APP_SHOWN_NAME_H_
#define CARDSTOW_APP_SHOWN_NAME_H_

#include <string>
#include <string_view>

// `name` as a person is shown it, so that what is shown is the name and
// nothing else. Escaped are: the backslash (\\), tab, line feed and carriage
// return (\t, \n, \r), the other C0 controls and DEL (\x1b, \x7f), the C1
// controls and the invisible format characters and separators (Unicode 15
// general categories Cf, Zl, Zp: \u0085, \u00ad, \u200b, \u2028, \u202e,
// \ufeff, \U000e0041), and every byte that does not start a well-formed UTF-8
// character (\xff; overlong forms, surrogates and anything past U+10FFFF
// included), each byte of it on its own. Everything else is kept as it is.
std::string shown_name(std::string_view name);

#endif  // CARDSTOW_APP_SHOWN_NAME_H_
