// Signal handlers that put the terminal back: only async-signal-safe calls.
#include "terminal/terminal_signals_posix.h"

#include <unistd.h>

#include <cerrno>
#include <iterator>

volatile sig_atomic_t terminal_redraw_due = 0;

namespace {

const termios* found_modes = nullptr;

const int handled_signals[] = {
    SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGABRT, SIGALRM, SIGBUS,
    SIGFPE,    SIGILL,  SIGSEGV, SIGSYS,  SIGTRAP, SIGUSR1, SIGUSR2,
    SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGTSTP, SIGCONT, SIGWINCH};
struct sigaction previous_actions[std::size(handled_signals)];
bool installed[std::size(handled_signals)];

const struct sigaction* previous_action(int signal_number) {
  for (std::size_t i = 0; i < std::size(handled_signals); ++i) {
    if (handled_signals[i] == signal_number) return &previous_actions[i];
  }
  return nullptr;
}

void raise_unblocked(int signal_number) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, signal_number);
  sigprocmask(SIG_UNBLOCK, &signals, nullptr);
  raise(signal_number);
}

void set_default_and_raise(int signal_number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  raise_unblocked(signal_number);
}

// Puts the terminal back as found, then passes the signal on.
void end_by_signal(int signal_number, siginfo_t* info, void* context) {
  tcsetattr(0, TCSANOW, found_modes);
  const struct sigaction* previous = previous_action(signal_number);
  if (previous != nullptr && (previous->sa_flags & SA_SIGINFO) != 0) {
    previous->sa_sigaction(signal_number, info, context);
  } else if (previous != nullptr && previous->sa_handler != SIG_DFL &&
             previous->sa_handler != SIG_IGN) {
    previous->sa_handler(signal_number);
  } else {
    set_default_and_raise(signal_number);
  }
}

void stop_by_signal(int signal_number, siginfo_t*, void*);

void install(int signal_number, void (*handler)(int, siginfo_t*, void*)) {
  struct sigaction action {};
  action.sa_sigaction = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_SIGINFO;
  sigaction(signal_number, &action, nullptr);
}

// Puts the terminal back as found and stops; once resumed, sets it up again
// as it was at the stop.
void stop_by_signal(int signal_number, siginfo_t*, void*) {
  const int saved_errno = errno;
  termios modes;
  const bool known = tcgetattr(0, &modes) == 0;
  tcsetattr(0, TCSANOW, found_modes);
  set_default_and_raise(signal_number);
  install(signal_number, stop_by_signal);
  if (known) tcsetattr(0, TCSANOW, &modes);
  errno = saved_errno;
}

void note_redraw_due(int, siginfo_t*, void*) { terminal_redraw_due = 1; }

void (*handler_for(int signal_number))(int, siginfo_t*, void*) {
  switch (signal_number) {
    case SIGTSTP:
      return stop_by_signal;
    case SIGCONT:
    case SIGWINCH:
      return note_redraw_due;
  }
  return end_by_signal;
}

}  // namespace

void install_terminal_signal_handlers(const termios& found) {
  found_modes = &found;
  for (std::size_t i = 0; i < std::size(handled_signals); ++i) {
    sigaction(handled_signals[i], nullptr, &previous_actions[i]);
    installed[i] = previous_actions[i].sa_handler != SIG_IGN;
    if (installed[i])
      install(handled_signals[i], handler_for(handled_signals[i]));
  }
}

void remove_terminal_signal_handlers() {
  for (std::size_t i = std::size(handled_signals); i-- > 0;) {
    if (installed[i])
      sigaction(handled_signals[i], &previous_actions[i], nullptr);
    installed[i] = false;
  }
}
