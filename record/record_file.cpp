// Opens, writes and closes the character record in its fixed plain-text
// layout.
#include "record/record_file.h"

#include <cerrno>

#include "signals/ending_signals.h"

namespace {

constexpr std::string_view column_gap = "      ";
constexpr std::string_view indent = "        ";  // as wide as "Traits: "

}  // namespace

int open_record_file(record_file& file, const char* name) {
  file.name = name;
  file.error = open_file(name, file.handle);
  if (file.error != 0) {
    file.stream.setstate(std::ios::badbit);
    return file.error;
  }
  guard_new_file(file.handle, name);
  return 0;
}

int start_record(record_file& file, const character_record& record) {
  if (file.error == 0) file.error = empty_file(file.handle);
  if (file.error != 0) {
    file.stream.setstate(std::ios::badbit);
  } else {
    // A signal meanwhile waits for the whole sheet: never a torn one.
    hold_ending_signals();
    write_record_sheet(file.stream, record);
    note_write_error(file);
    end_new_file_guard();
    release_ending_signals();
    return file.error;
  }
  end_new_file_guard();
  return file.error;
}

void write_record_sheet(std::ostream& out, const character_record& record) {
  out << "Ironvale Scout Corps Personal Record" << std::endl
      << std::endl
      << "Name: " << text_of(record.name) << std::endl
      << "Level: " << record.level << std::endl
      << std::endl
      << "ST: " << record.strength << column_gap
      << "IN: " << record.intelligence << std::endl
      << "PE: " << record.perception << column_gap << "AG: " << record.agility
      << std::endl
      << "EN: " << record.endurance << column_gap << "LK: " << record.luck
      << std::endl
      << "CH: " << record.charisma << std::endl
      << std::endl
      << "Traits: " << text_of(record.first_trait) << std::endl
      << indent << text_of(record.second_trait) << std::endl
      << std::endl
      << "Tags:   " << text_of(record.first_tag) << std::endl
      << indent << text_of(record.second_tag) << std::endl
      << indent << text_of(record.third_tag) << std::endl
      << std::endl
      << "Perks:" << std::endl;
}

// Straight to the stream buffer: one perk line is written for every perk
// typed, so this is the program's busiest write.
void write_perk_line(std::ostream& out, std::string_view perk) {
  if (!out) return;
  std::streambuf& buf = *out.rdbuf();
  const auto size = static_cast<std::streamsize>(perk.size());
  if (buf.sputn(perk.data(), size) != size ||
      buf.sputc('\n') == std::char_traits<char>::eof() || buf.pubsync() != 0) {
    out.setstate(std::ios::badbit);
  }
}

void note_write_error(record_file& file) {
  if (!file.stream && file.error == 0) {
    file.error = file.buffer.error() != 0 ? file.buffer.error() : EIO;
  }
}

int close_record_file(record_file& file) {
  end_new_file_guard();
  if (file.handle.value == -1) return file.error;
  file.stream.flush();
  note_write_error(file);
  if (file.error == 0) file.error = sync_file(file.handle, file.name.c_str());
  if (file.error != 0) {
    // A new file that nothing reached is no record: it goes.
    abandon_record_file(file);
    return file.error;
  }
  file.error = close_file(file.handle);
  return file.error;
}

void abandon_record_file(record_file& file) {
  end_new_file_guard();
  if (file.handle.value != -1) remove_new_file(file.handle, file.name.c_str());
}
