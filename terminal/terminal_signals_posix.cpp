// The signals the line editor handles while it has the terminal: only
// async-signal-safe calls. Ending signals belong to signals/ending_signals.h,
// where the terminal registers its restore.
#include "terminal/terminal_signals_posix.h"

#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "signals/ending_signals.h"

volatile sig_atomic_t terminal_redraw_due = 0;

namespace {

const termios* found_modes = nullptr;

const int handled_signals[] = {SIGTSTP, SIGCONT, SIGWINCH};
struct sigaction previous_actions[std::size(handled_signals)];
bool installed[std::size(handled_signals)];

// Puts the terminal back as found: what an ending signal does first.
void restore_found_modes() {
  if (found_modes != nullptr) tcsetattr(0, TCSANOW, found_modes);
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, nullptr);
}

// Puts the terminal back as found and stops; once resumed, sets it up again
// as it was at the stop, and has the line drawn again.
void stop_by_signal(int signal_number) {
  const int saved_errno = errno;
  termios modes;
  const bool known = tcgetattr(0, &modes) == 0;
  tcsetattr(0, TCSANOW, found_modes);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, signal_number);
  sigprocmask(SIG_UNBLOCK, &signals, nullptr);
  raise(signal_number);
  install(signal_number, stop_by_signal);
  if (known) tcsetattr(0, TCSANOW, &modes);
  terminal_redraw_due = 1;
  errno = saved_errno;
}

void note_redraw_due(int) { terminal_redraw_due = 1; }

}  // namespace

void install_terminal_signal_handlers(const termios& found) {
  found_modes = &found;
  set_terminal_restore(restore_found_modes);
  for (std::size_t i = 0; i < std::size(handled_signals); ++i) {
    sigaction(handled_signals[i], nullptr, &previous_actions[i]);
    installed[i] = previous_actions[i].sa_handler != SIG_IGN;
    if (installed[i]) {
      install(handled_signals[i],
              handled_signals[i] == SIGTSTP ? stop_by_signal : note_redraw_due);
    }
  }
}

void remove_terminal_signal_handlers() {
  for (std::size_t i = std::size(handled_signals); i-- > 0;) {
    if (installed[i]) {
      sigaction(handled_signals[i], &previous_actions[i], nullptr);
    }
    installed[i] = false;
  }
  set_terminal_restore(nullptr);
}
