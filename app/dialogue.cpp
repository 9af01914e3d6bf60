// The questionnaire and the flow of one run, from the start-up screen to the
// thanks line.
#include "app/dialogue.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/console_streams.h"
#include "app/shown_name.h"
#include "console/answer_reading.h"
#include "record/file_system.h"
#include "record/record_file.h"

namespace {

// One line of the start-up screen between the frame's two edges.
void print_framed(std::ostream& out, char left, std::string_view inside,
                  char right) {
  out << "        " << left << inside << right << std::endl;
}

void print_thanks(std::ostream& out) {
  out << "Thanks for using CARDSTOW." << std::endl;
}

// Reports on `err` why the record could not be stored, then thanks the user
// on `out`. Returns the exit status for a record not stored.
int give_up(std::ostream& out, std::ostream& err, std::string_view problem) {
  err << "cardstow: " << problem << std::endl;
  print_thanks(out);
  return 1;
}

// The name for a message: quoted, shown safely, and marked when only its
// start is known.
std::string quoted(const text_field& file_name, bool cut = false) {
  return '"' + shown_name(text_of(file_name)) + (cut ? "...\"" : "\"");
}

// Why console input could not be read, for a message.
std::string read_failure(const console_facts& console) {
  const int error = console.read_error != nullptr ? *console.read_error : 0;
  std::string problem = "cannot read standard input";
  if (error != 0) problem += std::string(": ") + std::strerror(error);
  return problem;
}

// Tells the console what the next answer takes, before it is read: a line
// editor holds a text answer to the bytes it keeps (never a file name, which
// is refused whole when too long) and completes file names only.
void tell_console(const console_facts& console, answer_kind kind) {
  if (console.input == nullptr) return;
  const std::size_t bytes = kind == answer_kind::text ? answer_capacity - 1 : 0;
  console.input->ask({.kind = kind, .most_bytes = bytes});
}

// After a read: a read error of the console leaves `in` bad, so that no
// later question is asked.
void note_read_error(std::istream& in, const console_facts& console) {
  if (console.read_error != nullptr && *console.read_error != 0) {
    in.setstate(std::ios::badbit);
  }
}

// Each question is asked only while console input can still be read: after
// a read error (`in` bad) no prompt is printed.
text_read ask_text(std::istream& in, std::ostream& out, std::string_view prompt,
                   text_field& field, const console_facts& console,
                   answer_kind kind = answer_kind::text) {
  field[0] = '\0';
  if (in.bad()) return text_read::ended;
  out << prompt;
  tell_console(console, kind);
  const text_read got = read_text_answer(in, field);
  note_read_error(in, console);
  return got;
}

void ask_number(std::istream& in, std::ostream& out, std::string_view prompt,
                std::int32_t& field, const console_facts& console) {
  if (in.bad()) return;
  out << prompt;
  tell_console(console, answer_kind::numbers);
  read_number_answer(in, out, prompt, field);
  note_read_error(in, console);
}

void ask_questionnaire(std::istream& in, std::ostream& out,
                       character_record& record, const console_facts& console) {
  ask_text(in, out, "Character Name: ", record.name, console);
  ask_number(in, out, "Level: ", record.level, console);
  ask_number(in, out, "Strength: ", record.strength, console);
  ask_number(in, out, "Perception: ", record.perception, console);
  ask_number(in, out, "Endurance: ", record.endurance, console);
  ask_number(in, out, "Charisma: ", record.charisma, console);
  ask_number(in, out, "Intelligence: ", record.intelligence, console);
  ask_number(in, out, "Agility: ", record.agility, console);
  ask_number(in, out, "Luck: ", record.luck, console);
  discard_rest_of_line(in);
  ask_text(in, out, "First Trait: ", record.first_trait, console);
  ask_text(in, out, "Second Trait: ", record.second_trait, console);
  ask_text(in, out, "First Tag: ", record.first_tag, console);
  ask_text(in, out, "Second Tag: ", record.second_tag, console);
  ask_text(in, out, "Third Tag: ", record.third_tag, console);
  ask_number(in, out,
             "How many Perks do you need to enter: ", record.perk_count,
             console);
  discard_rest_of_line(in);
}

// Asks for up to perk_count perks, writing each before the next is asked.
// Stops early once console input has ended.
void ask_perks(std::istream& in, std::ostream& out, record_file& file,
               character_record& record, const console_facts& console) {
  for (std::int32_t asked = 0; asked < record.perk_count && in.good();
       ++asked) {
    if (ask_text(in, out, "Enter perk: ", record.current_perk, console) ==
        text_read::ended) {
      break;
    }
    write_perk(file, text_of(record.current_perk));
  }
}

// Why the record file `file_name` was not opened: `error` is what
// open_record_file returned.
std::string open_refusal(const text_field& file_name, int error) {
  switch (error) {
    case refused_answers_file:
      return quoted(file_name) +
             " is the file the answers are read from; nothing was stored";
    case refused_console_output:
      return quoted(file_name) +
             " is the file console output goes to; nothing was stored";
    case refused_other_writer:
      return quoted(file_name) +
             " is being written by another cardstow run; nothing was stored";
    case refused_other_program:
      return quoted(file_name) +
             " is open in another program; nothing was stored";
  }
  return "cannot open " + quoted(file_name) +
         " for writing: " + std::strerror(error);
}

// Why the record in `file` was not stored under `file_name`, once
// close_record_file failed with `error`.
std::string store_failure(const text_field& file_name, const record_file& file,
                          int error) {
  const std::string reason = std::strerror(error);
  switch (file.failure) {
    case record_failure::rename:
      return "cannot put the record in place of " + quoted(file_name) + ": " +
             reason + "; it is kept in \"" + shown_name(file.new_name) +
             "\", and the previous record is kept";
    case record_failure::name_moved:
      return quoted(file_name) +
             " was removed or replaced while the record was written; the "
             "record is not stored there";
    case record_failure::entry:
      return "cannot sync the folder of " + quoted(file_name) + ": " + reason +
             "; the record is written but may not survive a power cut";
    case record_failure::none:
    case record_failure::write:
      break;
  }
  std::string problem =
      "cannot write the record to " + quoted(file_name) + ": " + reason;
  if (file.place == record_place::beside) {
    problem += "; its previous record is kept";
  }
  return problem;
}

}  // namespace

void show_title_screen(std::ostream& out) {
  const std::string stars(60, '*');
  const std::string blank(60, ' ');
  print_framed(out, '/', stars, '\\');
  print_framed(out, '*', blank, '*');
  print_framed(out, '*',
               "                Cardstow Roster Sheet Keeper                ",
               '*');
  print_framed(out, '*',
               "             Written by the cardstow developers             ",
               '*');
  print_framed(out, '*',
               "                                              Verson 1.0    ",
               '*');
  print_framed(out, '*', blank, '*');
  print_framed(out, '\\', stars, '/');
  out << std::endl << std::endl;
}

int fill_in_record(const text_field& file_name, std::istream& in,
                   std::ostream& out, std::ostream& err,
                   const console_facts& console) {
  record_file file;
  if (const int error = open_record_file(file, file_name.data()); error != 0) {
    return give_up(out, err, open_refusal(file_name, error));
  }
  character_record record;
  ask_questionnaire(in, out, record, console);
  if (in.bad()) {
    abandon_record_file(file);
    return give_up(out, err, read_failure(console) + "; nothing was stored");
  }
  start_record(file, record);
  ask_perks(in, out, file, record, console);
  int status = 0;
  if (const int error = close_record_file(file); error != 0) {
    status = give_up(out, err, store_failure(file_name, file, error));
  } else {
    // Scripts read the name from piped output as it was typed.
    out << std::endl
        << "All this information has been stored in "
        << (console.output_is_terminal ? shown_name(text_of(file_name))
                                       : std::string(text_of(file_name)))
        << std::endl;
    print_thanks(out);
  }
  if (!in.bad()) return status;
  // The sheet and the perks typed so far are stored; the rest is lost.
  err << "cardstow: " << read_failure(console) << std::endl;
  return 1;
}

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const console_facts& console) {
  show_title_screen(out);
  text_field file_name{};
  const text_read got =
      ask_text(in, out, "Enter a file name followed by .TXT: ", file_name,
               console, answer_kind::file_name);
  if (in.bad()) {
    return give_up(out, err, read_failure(console) + "; nothing was stored");
  }
  if (got == text_read::cut) {
    return give_up(out, err,
                   "file name " + quoted(file_name, true) +
                       " is longer than 29 bytes; nothing was stored");
  }
  if (got == text_read::nul) {
    // The system would take the name only up to the NUL: another file.
    return give_up(out, err,
                   "file name " + quoted(file_name, true) +
                       " holds a NUL byte; nothing was stored");
  }
  if (file_name[0] == '\0') {
    return give_up(out, err, "no file name given; nothing was stored");
  }
  if (const char* reason = name_refusal(text_of(file_name))) {
    // The system would open another file, or a device, under this name.
    return give_up(out, err,
                   "file name " + quoted(file_name) + " " + reason +
                       "; nothing was stored");
  }
  return fill_in_record(file_name, in, out, err, console);
}

int report_console_failures(int status, int write_error, std::ostream& err) {
  if (write_error == 0) return status;
  err << "cardstow: cannot write standard output: "
      << std::strerror(write_error) << std::endl;
  return 1;
}
