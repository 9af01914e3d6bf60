// Ending console events on Windows: the console control handler runs the
// registered actions on the event's own thread, then lets the next handler,
// in the end the system's, end the process.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

#include "signals/ending_signals.h"

namespace {

std::atomic<bool> installed{false};
std::atomic<ending_action> terminal_restore{nullptr};
std::atomic<ending_action> record_ending{nullptr};
// Held by hold_ending_signals; the handler takes it too, so it waits.
SRWLOCK hold_lock = SRWLOCK_INIT;

// Never releases the lock: the process is ending, and the main thread, at
// its next hold, waits for that instead of writing after the record's
// action. A second event finds the actions taken and waits as well.
BOOL WINAPI on_console_event(DWORD) {
  AcquireSRWLockExclusive(&hold_lock);
  if (const ending_action restore = terminal_restore.exchange(nullptr)) {
    restore();
  }
  if (const ending_action action = record_ending.exchange(nullptr)) action();
  return FALSE;
}

}  // namespace

void install_ending_handlers() {
  if (installed.exchange(true)) return;
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

void set_terminal_restore(ending_action restore) {
  install_ending_handlers();
  terminal_restore = restore;
}

void set_record_ending(ending_action action) {
  install_ending_handlers();
  record_ending = action;
}

void hold_ending_signals() { AcquireSRWLockExclusive(&hold_lock); }

void release_ending_signals() { ReleaseSRWLockExclusive(&hold_lock); }
