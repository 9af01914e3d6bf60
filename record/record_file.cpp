// Writes the character record in its fixed plain-text layout.
#include "record/record_file.h"

#include <cerrno>

#include "record/file_system.h"

namespace {

// errno, or EIO when a failure left none to report.
int system_error() { return errno != 0 ? errno : EIO; }

constexpr std::string_view column_gap = "      ";
constexpr std::string_view indent = "        ";  // as wide as "Traits: "

}  // namespace

// Appending creates a missing file and leaves an existing one as it is.
int open_record_file(record_file& file, const char* name) {
  file.error =
      open_named_file(file.stream, name, std::ios::out | std::ios::app);
  return file.error;
}

int empty_record_file(record_file& file, const char* name) {
  if (file.error != 0) return file.error;
  file.stream.close();
  file.error =
      open_named_file(file.stream, name, std::ios::out | std::ios::trunc);
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
  if (!file.stream && file.error == 0) file.error = system_error();
}

int close_record_file(record_file& file) {
  errno = 0;
  file.stream.close();
  note_write_error(file);
  return file.error;
}

// Until files are opened by handle, nothing tells a file this run created
// from one that was there: the file is only closed.
void abandon_record_file(record_file& file) { file.stream.close(); }
