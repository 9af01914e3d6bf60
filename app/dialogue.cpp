// The questionnaire and the flow of one run, from the start-up screen to the
// thanks line.
#include "app/dialogue.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

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

// Length of the well-formed UTF-8 character that starts `text`, with its
// code point in `code`; 0 when no well-formed character starts there.
std::size_t utf8_character(std::string_view text, char32_t& code) {
  const auto byte = [&](std::size_t i) -> unsigned {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned lead = byte(0);
  unsigned low = 0x80;
  unsigned high = 0xBF;
  std::size_t length = 0;
  if (lead < 0x80) {
    length = 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : low;    // no overlong form
    high = lead == 0xED ? 0x9F : high;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : low;    // no overlong form
    high = lead == 0xF4 ? 0x8F : high;  // nothing past U+10FFFF
  }
  code = lead & (length == 1 ? 0x7Fu : 0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
    if (byte(i) < low || byte(i) > high) return 0;
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  return length;
}

// Characters that would move the cursor, drive the terminal or reorder the
// text around them: C0 and C1 controls, DEL and the bidirectional controls.
bool is_unsafe(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C ||
         code == 0x200E || code == 0x200F ||
         (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

// `value` written in hexadecimal after `format`'s backslash: "\\x%02x" for a
// byte, "\\u%04x" for a character.
std::string hex_escape(const char* format, unsigned value) {
  char escape[12];
  std::snprintf(escape, sizeof escape, format, value);
  return escape;
}

// The escape that shows `code` in a message; empty when it shows as itself.
std::string escape_of(char32_t code) {
  switch (code) {
    case '\\':
      return "\\\\";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
  }
  if (!is_unsafe(code)) return "";
  return hex_escape(code < 0x80 ? "\\x%02x" : "\\u%04x", code);
}

// `name` as a message shows it: control characters, bidirectional controls
// and bytes that are no UTF-8 are escaped (\r, \x1b, \u202e, \xff), and so is
// the backslash, so what is shown is the name and nothing else.
std::string shown_name(std::string_view name) {
  std::string out;
  while (!name.empty()) {
    char32_t code = 0;
    const std::size_t length = utf8_character(name, code);
    if (length == 0) {
      out += hex_escape("\\x%02x", static_cast<unsigned char>(name[0]));
      name.remove_prefix(1);
      continue;
    }
    const std::string escape = escape_of(code);
    out += escape.empty() ? name.substr(0, length) : std::string_view(escape);
    name.remove_prefix(length);
  }
  return out;
}

// The name for a message: quoted, shown safely, and marked when only its
// start is known.
std::string quoted(const text_field& file_name, bool cut = false) {
  return '"' + shown_name(text_of(file_name)) + (cut ? "...\"" : "\"");
}

// Why console input could not be read, for a message.
std::string read_failure(int read_error) {
  std::string problem = "cannot read standard input";
  if (read_error != 0) problem += std::string(": ") + std::strerror(read_error);
  return problem;
}

// Each question is asked only while console input can still be read: after
// a read error (`in` bad) no prompt is printed.
void ask_text(std::istream& in, std::ostream& out, std::string_view prompt,
              text_field& field) {
  if (in.bad()) return;
  out << prompt;
  read_text_answer(in, field);
}

void ask_number(std::istream& in, std::ostream& out, std::string_view prompt,
                std::int32_t& field) {
  if (in.bad()) return;
  out << prompt;
  read_number_answer(in, out, prompt, field);
}

void ask_questionnaire(std::istream& in, std::ostream& out,
                       character_record& record) {
  ask_text(in, out, "Character Name: ", record.name);
  ask_number(in, out, "Level: ", record.level);
  ask_number(in, out, "Strength: ", record.strength);
  ask_number(in, out, "Perception: ", record.perception);
  ask_number(in, out, "Endurance: ", record.endurance);
  ask_number(in, out, "Charisma: ", record.charisma);
  ask_number(in, out, "Intelligence: ", record.intelligence);
  ask_number(in, out, "Agility: ", record.agility);
  ask_number(in, out, "Luck: ", record.luck);
  discard_rest_of_line(in);
  ask_text(in, out, "First Trait: ", record.first_trait);
  ask_text(in, out, "Second Trait: ", record.second_trait);
  ask_text(in, out, "First Tag: ", record.first_tag);
  ask_text(in, out, "Second Tag: ", record.second_tag);
  ask_text(in, out, "Third Tag: ", record.third_tag);
  ask_number(in, out,
             "How many Perks do you need to enter: ", record.perk_count);
  discard_rest_of_line(in);
}

// Asks for up to perk_count perks, writing each before the next is asked.
// Stops early once console input has ended.
void ask_perks(std::istream& in, std::ostream& out, record_file& file,
               character_record& record) {
  for (std::int32_t asked = 0; asked < record.perk_count && in.good();
       ++asked) {
    out << "Enter perk: ";
    if (read_text_answer(in, record.current_perk) == text_read::ended) break;
    write_perk_line(file.stream, text_of(record.current_perk));
    note_write_error(file);
  }
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
                   const int& read_error) {
  if (is_standard_input(file_name.data())) {
    return give_up(out, err,
                   quoted(file_name) +
                       " is the file the answers are read from; nothing was "
                       "stored");
  }
  record_file file;
  if (const int error = open_record_file(file, file_name.data()); error != 0) {
    return give_up(out, err,
                   "cannot open " + quoted(file_name) +
                       " for writing: " + std::strerror(error));
  }
  character_record record;
  ask_questionnaire(in, out, record);
  if (in.bad()) {
    abandon_record_file(file);
    return give_up(out, err, read_failure(read_error) + "; nothing was stored");
  }
  if (empty_record_file(file, file_name.data()) == 0) {
    write_record_sheet(file.stream, record);
    note_write_error(file);
  }
  ask_perks(in, out, file, record);
  int status = 0;
  if (const int error = close_record_file(file); error != 0) {
    status = give_up(out, err,
                     "cannot write the record to " + quoted(file_name) + ": " +
                         std::strerror(error));
  } else {
    out << std::endl
        << "All this information has been stored in " << text_of(file_name)
        << std::endl;
    print_thanks(out);
  }
  if (!in.bad()) return status;
  // The sheet and the perks typed so far are stored; the rest is lost.
  err << "cardstow: " << read_failure(read_error) << std::endl;
  return 1;
}

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err,
                 const int& read_error) {
  show_title_screen(out);
  out << "Enter a file name followed by .TXT: ";
  text_field file_name{};
  const text_read got = read_text_answer(in, file_name);
  if (in.bad()) {
    return give_up(out, err, read_failure(read_error) + "; nothing was stored");
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
  return fill_in_record(file_name, in, out, err, read_error);
}

int report_console_failures(int status, int write_error, std::ostream& err) {
  if (write_error == 0) return status;
  err << "cardstow: cannot write standard output: "
      << std::strerror(write_error) << std::endl;
  return 1;
}
