// The rules by which every answer is read from console input: bounded text
// answers, whole numbers that are asked again until valid, and the discard of
// the rest of a line.
//
// Every read starts only while `in` is good, flushes the stream tied to `in`
// (console output) first so the prompt is on screen while the program waits,
// and reads in constant memory however long the line. End of input sets
// eofbit on `in`; nothing clears it, so every later read returns at once.
// A read error is the stream buffer's to report: to these rules it is the
// end of input.
#ifndef CARDSTOW_CONSOLE_ANSWER_READING_H_
#define CARDSTOW_CONSOLE_ANSWER_READING_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <string_view>

#include "record/text_field.h"

// Printed when a number answer is not a whole number in range.
inline constexpr std::string_view invalid_number_message =
    "Please enter a whole number from -2147483648 to 2147483647.";

// How a text read ended.
enum class text_read {
  ended,  // nothing taken: input had already ended, or ended at once
  whole,  // the whole line was stored (an empty line stores an empty text)
  cut,    // the line was longer than 29 bytes; only its start was stored
  nul,    // the bytes kept held a NUL byte, where the stored text now ends
};

// Reads one line into `field` and consumes it, line feed included; a
// carriage return right before the line feed is part of the line end, any
// other is kept. Leading white space is kept. What remains of the line is
// stored byte for byte when it is at most 29 bytes; a longer one keeps its
// first 29 bytes, fewer when byte 29 would split a UTF-8 character held
// whole in the line, and the rest of it is dropped.
// When the result is text_read::ended the field is empty. A NUL byte cannot be
// told from the field's terminator: text_read::nul says the text was stored
// only up to the first one (the line may also have been cut).
text_read read_text_answer(std::istream& in, text_field& field);

// Reads a whole number into `target`, skipping white space and empty lines
// first. An optional sign and decimal digits are taken; the first character
// that cannot continue the number stays in `in`. When no digit follows the
// sign or the value does not fit 32 bits, prints invalid_number_message on
// `out`, discards the rest of that line and, unless input has ended, prints
// `prompt` again and reads again. Returns true once a number was stored;
// false when input ended first, leaving `target` unchanged.
bool read_number_answer(std::istream& in, std::ostream& out,
                        std::string_view prompt, std::int32_t& target);

// Consumes the rest of the current line, line feed included, however long.
void discard_rest_of_line(std::istream& in);

#endif  // CARDSTOW_CONSOLE_ANSWER_READING_H_
