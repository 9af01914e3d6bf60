// The console dialogue of cardstow: the start-up screen, the questionnaire
// that fills in a character record, and the closing lines. Every message on
// the error stream shows a file name with control characters, bidirectional
// controls and bytes that are no UTF-8 escaped (\r, \x1b, \u202e, \xff).
#ifndef CARDSTOW_APP_DIALOGUE_H_
#define CARDSTOW_APP_DIALOGUE_H_

#include <istream>
#include <ostream>

#include "record/character_record.h"

// Prints the framed start-up screen, seven lines of 70 characters, then two
// empty lines, each flushed.
void show_title_screen(std::ostream& out);

// No read error of console input: the default for `read_error` below.
inline constexpr int no_read_error = 0;

// Opens the record file named `file_name`, asks the questionnaire on `in` and
// `out`, writes the record sheet and then each perk as it is typed, closes the
// file and reports where the record is stored, then thanks the user. An
// existing file keeps its content until the record sheet is written over it.
// The file that standard input reads, and a file that cannot be opened, are
// refused on `err` (the latter with the system's reason) and nothing is asked.
// A failed write or close is checked once the dialogue has run to its end and
// reported the same way, with no report line. The perks stop being asked once
// console input has ended.
// A read error (`in` bad) stops the questions at once: no later prompt is
// printed. Before the record sheet nothing is written and the file is
// abandoned (abandon_record_file); during the perks those typed so far stay
// stored. Either way it is reported on `err` with the reason `read_error`,
// the errno of the failed read (read when the error is reported; 0 when not
// known). Returns the exit status: 0 when the whole record was stored, 1
// otherwise.
int fill_in_record(const text_field& file_name, std::istream& in,
                   std::ostream& out, std::ostream& err,
                   const int& read_error = no_read_error);

// The whole run: start-up screen, file-name question and fill_in_record.
// A file name that is empty, longer than 29 bytes, holds a NUL byte or is
// one the platform would not open as typed (name_refusal in
// record/file_system.h), any of which would name a file other than the one
// typed, is refused on `err` before any file is touched; so is a read error
// at the file-name question. Returns the exit status.
int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const int& read_error = no_read_error);

// The exit status of a run that ended with `status`, once a failed write of
// console output is reported on `err` in one line: `write_error` is its
// errno, 0 for none, and makes the status 1. (Read errors of console input
// are the dialogue's to report.)
int report_console_failures(int status, int write_error, std::ostream& err);

#endif  // CARDSTOW_APP_DIALOGUE_H_
