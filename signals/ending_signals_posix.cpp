// Ending signals on POSIX: one handler for all of them, which runs the
// registered actions and then ends the process by the signal.
#include <signal.h>

#include <cerrno>
#include <iterator>

#include "signals/ending_signals.h"

namespace {

constexpr int ending_signals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGABRT,
                                  SIGALRM, SIGBUS,  SIGFPE,  SIGILL,  SIGSEGV,
                                  SIGSYS,  SIGTRAP, SIGUSR1, SIGUSR2, SIGVTALRM,
                                  SIGPROF, SIGXCPU};
constexpr int synchronous_faults[] = {SIGSEGV, SIGBUS, SIGFPE,
                                      SIGILL,  SIGSYS, SIGTRAP};

volatile sig_atomic_t installed = 0;
ending_action volatile terminal_restore = nullptr;
ending_action volatile record_ending = nullptr;
sigset_t mask_before_hold;

bool is_synchronous_fault(int sig) {
  for (const int fault : synchronous_faults) {
    if (fault == sig) return true;
  }
  return false;
}

// Sets the default action of `sig`, then raises it unblocked: the process
// ends by it.
void end_by(int sig) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
  sigset_t just_sig;
  sigemptyset(&just_sig);
  sigaddset(&just_sig, sig);
  raise(sig);
  sigprocmask(SIG_UNBLOCK, &just_sig, nullptr);
}

// Every other signal is blocked while it runs (sa_mask), so the actions run
// once; a fault inside an action finds the default set and ends the process.
void on_ending_signal(int sig) {
  const int saved_errno = errno;
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (const int fault : synchronous_faults)
    sigaction(fault, &fallback, nullptr);
  if (const ending_action restore = terminal_restore) restore();
  if (const ending_action action = record_ending) action();
  end_by(sig);
  errno = saved_errno;
}

void install_one(int sig) {
  struct sigaction before {};
  if (sigaction(sig, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
    return;
  }
  struct sigaction action {};
  action.sa_handler = on_ending_signal;
  action.sa_flags = SA_RESTART;
  sigfillset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

}  // namespace

void install_ending_handlers() {
  if (installed) return;
  installed = 1;
  for (const int sig : ending_signals) install_one(sig);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

void set_terminal_restore(ending_action restore) {
  install_ending_handlers();
  terminal_restore = restore;
}

void set_record_ending(ending_action action) {
  install_ending_handlers();
  record_ending = action;
}

void hold_ending_signals() {
  sigset_t held;
  sigemptyset(&held);
  for (const int sig : ending_signals) {
    if (!is_synchronous_fault(sig)) sigaddset(&held, sig);
  }
  sigprocmask(SIG_BLOCK, &held, &mask_before_hold);
}

void release_ending_signals() {
  sigprocmask(SIG_SETMASK, &mask_before_hold, nullptr);
}
