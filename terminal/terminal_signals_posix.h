// The signals that stop, resume or resize the program while the line editor
// has the terminal, and its restore when a signal ends the program (POSIX).
#ifndef CARDSTOW_TERMINAL_TERMINAL_SIGNALS_POSIX_H_
#define CARDSTOW_TERMINAL_TERMINAL_SIGNALS_POSIX_H_

#include <signal.h>
#include <termios.h>

// Set when the program was resumed or its window resized: the editor draws
// its line again before it reads the next key. The editor clears it.
extern volatile sig_atomic_t terminal_redraw_due;

// Registers the terminal's restore with the ending signals
// (signals/ending_signals.h): every signal that ends the program sets
// standard input's terminal to `found` first (kept by reference: it must
// outlive the registration). Installs the handlers of Ctrl-Z (TSTP), which
// sets `found` while stopped and the modes of the stop again once resumed,
// and of SIGCONT and SIGWINCH; all three set terminal_redraw_due. A signal
// the program was started ignoring stays ignored.
void install_terminal_signal_handlers(const termios& found);

// Puts back exactly what install_terminal_signal_handlers replaced, and
// clears the terminal's restore.
void remove_terminal_signal_handlers();

#endif  // CARDSTOW_TERMINAL_TERMINAL_SIGNALS_POSIX_H_
