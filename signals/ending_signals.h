// The one place that handles the signals (POSIX) and console events
// (Windows) that end the program: the terminal and the record register what
// must happen first, and the process then ends as the signal says.
#ifndef CARDSTOW_SIGNALS_ENDING_SIGNALS_H_
#define CARDSTOW_SIGNALS_ENDING_SIGNALS_H_

// Something to do when the process is being ended by a signal or console
// event. On POSIX it runs inside a signal handler: only async-signal-safe
// calls, no allocation, no locks; on Windows it runs on the console event's
// own thread while the main thread still runs.
using ending_action = void (*)();

// Installs the handlers, once; later calls do nothing. POSIX: for SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGALRM, SIGBUS, SIGFPE, SIGILL,
// SIGSEGV, SIGSYS, SIGTRAP, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF and SIGXCPU,
// each unless the program was started ignoring it (it then stays ignored);
// SIGXFSZ is set to ignored, so a write past a file-size limit fails with
// EFBIG instead of ending the process. Stop, resume and resize signals
// (TSTP, CONT, WINCH) are left alone. Windows: the console control handler
// for Ctrl-C, Ctrl-Break, closing the console, logoff and shutdown.
// The setters below call it; main calls it first thing.
void install_ending_handlers();

// What an ending signal does first: put the terminal back as it was found.
// nullptr clears it. Installs the handlers when they are not yet installed.
void set_terminal_restore(ending_action restore);

// What an ending signal does next, after the terminal's restore: the
// record's cleanup (before the sheet: remove the new file) or publish
// (during the perks: sync the new file and put it in place). nullptr clears
// it. Installs the handlers when they are not yet installed.
void set_record_ending(ending_action action);

// After both actions have run, the process ends by the signal itself: its
// default action is set (never just read) and the signal raised again, so
// the parent sees the same signal. On Windows the next console handler, in
// the end the system's, ends the process.

// Holds ending signals and console events until release_ending_signals: one
// that comes meanwhile runs its actions, and ends the process, only once
// released, so what is written under a hold is whole when the record's
// action sees it. Not held: synchronous faults (SEGV, BUS, FPE, ILL, SYS,
// TRAP) and a signal the process sends itself (abort). Cheap enough for
// every line written: on POSIX a flag the handler checks (no system call);
// on Windows a lock the console event's thread takes too. Once that thread
// has run the actions it keeps the lock, so a later hold waits for the end
// of the process and nothing is written after the record's action. Calls do
// not nest: each hold is followed by one release.
void hold_ending_signals();
void release_ending_signals();

#endif  // CARDSTOW_SIGNALS_ENDING_SIGNALS_H_
