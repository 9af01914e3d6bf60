// What the environment says of the terminal a person types at (POSIX): the
// rules that decide whether the line editor runs.
#ifndef CARDSTOW_TERMINAL_TERMINAL_FACTS_POSIX_H_
#define CARDSTOW_TERMINAL_TERMINAL_FACTS_POSIX_H_

// Whether TERM names a terminal the terminal database (terminfo) has an
// entry for, other than "dumb": one that takes the ECMA-48 sequences the
// editor writes. Unset or empty: false.
bool terminal_is_known();

// Whether the character set the environment chooses (LC_ALL, LC_CTYPE,
// LANG) is UTF-8, or none is chosen (the C or POSIX locale), where the
// editor works in UTF-8. Leaves the program's own locale as it was.
bool locale_allows_utf8();

// The columns of the terminal's window; 80 when it does not say.
int window_columns();

#endif  // CARDSTOW_TERMINAL_TERMINAL_FACTS_POSIX_H_
