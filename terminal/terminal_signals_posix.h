// The signals that end or stop the program while the line editor has the
// terminal: each puts the terminal back as it was found first (POSIX).
#ifndef CARDSTOW_TERMINAL_TERMINAL_SIGNALS_POSIX_H_
#define CARDSTOW_TERMINAL_TERMINAL_SIGNALS_POSIX_H_

#include <signal.h>
#include <termios.h>

// Set when the program was resumed or its window resized: the editor draws
// its line again before it reads the next key. The editor clears it.
extern volatile sig_atomic_t terminal_redraw_due;

// Installs the handlers of every signal that ends the program (INT, TERM,
// HUP, QUIT, ABRT, ALRM, BUS, FPE, ILL, SEGV, SYS, TRAP, USR1, USR2, VTALRM,
// PROF, XCPU, XFSZ), of Ctrl-Z (TSTP), and of SIGCONT and SIGWINCH, which
// set terminal_redraw_due. An ending signal sets standard input's terminal
// to `found` (kept by reference: it must outlive the handlers), then passes
// the signal on to the handler it replaced, or ends the process by it. A
// stop sets `found` while stopped and the modes of the stop again once
// resumed. A signal the program was started ignoring stays ignored.
void install_terminal_signal_handlers(const termios& found);

// Puts back exactly what install_terminal_signal_handlers replaced.
void remove_terminal_signal_handlers();

#endif  // CARDSTOW_TERMINAL_TERMINAL_SIGNALS_POSIX_H_
