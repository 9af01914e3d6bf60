// Ending signals on POSIX: one handler for all of them, which runs the
// registered actions and then ends the process by the signal, or, while
// they are held, notes the signal for the release to act on.
#include <signal.h>
#include <unistd.h>

#include <atomic>
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
// A flag, not a signal mask: a hold costs two stores, so every perk line can
// be written under one. `pending` is the first signal that came while held.
volatile sig_atomic_t holding = 0;
volatile sig_atomic_t pending = 0;

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

// Runs the actions and ends the process by `sig`, with every other signal
// blocked (the handler's sa_mask, or the release's mask), so they run once; a
// fault inside an action finds the default set and ends the process.
void act_and_end(int sig) {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (const int fault : synchronous_faults)
    sigaction(fault, &fallback, nullptr);
  if (const ending_action restore = terminal_restore) restore();
  if (const ending_action action = record_ending) action();
  end_by(sig);
}

// A fault, or a signal the process sent itself (abort), is acted on at once:
// the code that raised it cannot go on. Any other waits while held.
void on_ending_signal(int sig, siginfo_t* info, void*) {
  const int saved_errno = errno;
  const bool own =
      info != nullptr && info->si_code <= 0 && info->si_pid == getpid();
  if (holding && !is_synchronous_fault(sig) && !own) {
    if (pending == 0) pending = sig;
  } else {
    act_and_end(sig);
  }
  errno = saved_errno;
}

void install_one(int sig) {
  struct sigaction before {};
  if (sigaction(sig, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
    return;
  }
  struct sigaction action {};
  action.sa_sigaction = on_ending_signal;
  action.sa_flags = SA_RESTART | SA_SIGINFO;
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

// The fences keep the compiler from moving the held writes out of the hold;
// the handler runs on this thread, so no stronger ordering is needed.
void hold_ending_signals() {
  holding = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// A signal that comes after `holding` is cleared acts at once in the handler;
// one noted before is acted on here, with every signal blocked as in the
// handler.
void release_ending_signals() {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  holding = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const int sig = pending;
  if (sig == 0) return;
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, nullptr);
  act_and_end(sig);
}
