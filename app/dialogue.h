// The console dialogue of cardstow: the start-up screen, the questionnaire
// that fills in a character record, and the closing lines. Every message on
// the error stream shows a file name escaped as shown_name does
// (app/shown_name.h), and so does the report line when console output is a
// terminal.
#ifndef CARDSTOW_APP_DIALOGUE_H_
#define CARDSTOW_APP_DIALOGUE_H_

#include <istream>
#include <ostream>

#include "record/character_record.h"

// Prints the framed start-up screen, seven lines of 70 characters, then two
// empty lines, each flushed.
void show_title_screen(std::ostream& out);

class console_input_buffer;

// What main tells the dialogue of the process's console.
struct console_facts {
  // Console input, told what each answer takes before it is read
  // (console_input_buffer::ask); nullptr when no one needs to know. Not owned.
  console_input_buffer* input = nullptr;
  // The errno of a failed read of console input, read when a read error is
  // reported (0 while none); nullptr when not known. Not owned.
  const int* read_error = nullptr;
  // Standard output is a terminal: a person reads the report line.
  bool output_is_terminal = false;
};

// Opens the record file named `file_name`, asks the questionnaire on `in` and
// `out`, writes the record sheet and then each perk as it is typed, puts the
// record in place, synced (record/record_file.h), and reports where it is
// stored, then thanks the user. An existing record keeps its content until
// the new one takes its place. A file that cannot be opened (with the
// system's reason), the file or pipe standard input reads, the file standard
// output or error writes, a file another run is writing and, on Windows, a
// file another program holds are refused on `err`, and nothing is asked. A
// failed write, sync, close or rename is checked once the dialogue has run to
// its end and reported the same way, with no report line, saying when the
// previous record is kept and where a new file that could not be renamed is.
// The perks stop being asked once console input has ended. The report line
// shows the name escaped when console.output_is_terminal (a person reads it),
// else byte for byte as typed (a script may). A read error (`in` bad) stops the
// questions at once: no later prompt is printed. Before the record sheet
// nothing is written and the file is abandoned (abandon_record_file); during
// the perks those typed so far stay stored. Either way it is reported on `err`
// with the reason *console.read_error. Returns the exit status: 0 when the
// whole record was stored, 1 otherwise.
int fill_in_record(const text_field& file_name, std::istream& in,
                   std::ostream& out, std::ostream& err,
                   const console_facts& console = {});

// The whole run: start-up screen, file-name question and fill_in_record.
// A file name that is empty, longer than 29 bytes, holds a NUL byte or is
// one the platform would not open as typed (name_refusal in
// record/file_system.h), any of which would name a file other than the one
// typed, is refused on `err` before any file is touched; so is a read error
// at the file-name question. Returns the exit status. `console` as for
// fill_in_record.
int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const console_facts& console = {});

// The exit status of a run that ended with `status`, once a failed write of
// console output is reported on `err` in one line: `write_error` is its
// errno, 0 for none, and makes the status 1. (Read errors of console input
// are the dialogue's to report.)
int report_console_failures(int status, int write_error, std::ostream& err);

#endif  // CARDSTOW_APP_DIALOGUE_H_
