// Opens, writes and puts in place the character record in its fixed
// plain-text layout: which file is written, and when it becomes the record.
#include "record/record_file.h"

#include <cerrno>
#include <utility>

#include "signals/ending_signals.h"

namespace {

constexpr std::string_view column_gap = "      ";
constexpr std::string_view indent = "        ";  // as wide as "Traits: "

// Tries to open the same name again when another run replaced it between
// this run's open and its lock.
constexpr int open_attempts = 3;

// Which refusal the standard streams make of the file `facts` describes: the
// file or pipe standard input reads, the file standard output or error
// writes. A terminal is none of them.
int stream_refusal(const file_facts& facts) {
  for (int stream = 0; stream <= 2; ++stream) {
    file_facts console{};
    if (facts_of_standard_stream(stream, console) != 0 ||
        !same_file(console.id, facts.id) || facts.kind == file_kind::other) {
      continue;
    }
    if (stream == 0) return refused_answers_file;
    if (facts.kind == file_kind::regular) return refused_console_output;
  }
  return 0;
}

// Opens `name` once, locked, into file.handle: 0, a refusal, an errno, or
// EAGAIN when the name no longer leads to the locked file.
int open_once(record_file& file, const char* name, bool& created) {
  file_facts named{};
  if (facts_of_name(name, named) == 0) {
    if (const int refusal = stream_refusal(named)) return refusal;
  }
  record_handle opened;
  if (const int error = open_for_writing(name, opened, created)) return error;
  file_facts facts{};
  if (const int error = facts_of(opened, facts)) return error;
  if (const int refusal = stream_refusal(facts)) return refusal;
  if (facts.kind == file_kind::regular) {
    if (const int refusal = lock_file(opened)) return refusal;
    if (facts_of_name(name, named) != 0 || !same_file(named.id, facts.id)) {
      return EAGAIN;
    }
  }
  file.written = facts.id;
  file.place =
      created ? record_place::direct
      : facts.kind != file_kind::regular || facts.links > 1 || facts.mount_point
          ? record_place::in_place
          : record_place::beside;
  file.handle = std::move(opened);
  return 0;
}

// Creates the new file beside the existing record in file.handle and moves
// that record to file.target. False, with everything as it was, when the
// record must be written in place instead.
bool open_beside(record_file& file) {
  file.replaced = replaced_name(file.name.c_str());
  file.new_name = leftover_name(file.replaced);
  record_handle fresh;
  int error = create_new_file(file.new_name.c_str(), fresh);
  if (error == EEXIST) {
    // The record is locked: this is what a killed run left.
    remove_leftover(file.new_name.c_str());
    error = create_new_file(file.new_name.c_str(), fresh);
  }
  file_facts facts{};
  if (error != 0 || facts_of(fresh, facts) != 0) return false;
  if (copy_metadata(file.handle, fresh) != 0) {
    remove_file(fresh, file.new_name.c_str());
    return false;
  }
  set_delete_at_close(fresh, true);
  file.written = facts.id;
  file.target = std::move(file.handle);
  file.handle = std::move(fresh);
  return true;
}

// The name the record is being written under.
const char* written_name(const record_file& file) {
  return file.place == record_place::beside ? file.new_name.c_str()
                                            : file.name.c_str();
}

// Whether the written file is no longer what file.name leads to.
bool name_moved(const record_file& file) {
  file_facts named{};
  return facts_of_name(file.name.c_str(), named) != 0 ||
         !same_file(named.id, file.written);
}

// Puts the complete, synced record under its name and syncs that entry.
void put_in_place(record_file& file) {
  const bool beside = file.place == record_place::beside;
  if (beside) {
    file.error =
        replace_file(file.new_name.c_str(), file.replaced.c_str(), file.target);
    if (file.error != 0) {
      file.failure = record_failure::rename;
      return;
    }
  } else if (name_moved(file)) {
    file.error = ENOENT;
    file.failure = record_failure::name_moved;
    return;
  }
  if (beside || file.place == record_place::direct) {
    file.error = sync_entry(beside ? file.replaced.c_str() : written_name(file),
                            file.handle);
  }
  if (file.error != 0) file.failure = record_failure::entry;
}

// open_record_file, with ending signals held.
int open_and_guard(record_file& file, const char* name) {
  file.name = name;
  bool created = false;
  for (int attempt = 0; attempt < open_attempts; ++attempt) {
    file.error = open_once(file, name, created);
    if (file.error != EAGAIN) break;
    file.error = refused_other_writer;
  }
  if (file.error != 0) {
    file.stream.setstate(std::ios::badbit);
    return file.error;
  }
  if (file.place == record_place::beside && !open_beside(file)) {
    file.place = record_place::in_place;
  }
  if (file.place == record_place::direct)
    set_delete_at_close(file.handle, true);
  if (file.place != record_place::in_place) {
    guard_unwritten(file.handle, written_name(file),
                    file.place == record_place::direct);
  }
  return 0;
}

}  // namespace

std::string leftover_name(const std::string& replaced) {
  const std::size_t start = last_component_start(replaced);
  return replaced.substr(0, start) + "." + replaced.substr(start) +
         ".cardstow-new";
}

int open_record_file(record_file& file, const char* name) {
  // A signal meanwhile waits until the file this run made is guarded, so
  // that it removes the file; no open here waits for anything.
  hold_ending_signals();
  const int error = open_and_guard(file, name);
  release_ending_signals();
  return error;
}

int start_record(record_file& file, const character_record& record) {
  if (file.error == 0 && file.place == record_place::in_place) {
    file.error = empty_file(file.handle);
  }
  if (file.error != 0) {
    file.stream.setstate(std::ios::badbit);
    return file.error;
  }
  // A signal meanwhile waits for the whole sheet: never a torn one.
  hold_ending_signals();
  write_record_sheet(file.stream, record);
  note_write_error(file);
  if (file.error == 0) {
    set_delete_at_close(file.handle, false);
    guard_written(
        file.handle, written_name(file),
        file.place == record_place::beside ? file.replaced.c_str() : nullptr,
        file.target);
  }
  release_ending_signals();
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

void write_perk(record_file& file, std::string_view perk) {
  // A signal meanwhile waits for the whole line: never a torn perk.
  hold_ending_signals();
  write_perk_line(file.stream, perk);
  note_write_error(file);
  release_ending_signals();
}

void note_write_error(record_file& file) {
  if (!file.stream && file.error == 0) {
    file.error = file.buffer.error() != 0 ? file.buffer.error() : EIO;
    // What failed is no record: a signal now keeps the old one instead.
    if (file.place == record_place::beside) {
      guard_unwritten(file.handle, file.new_name.c_str(), false);
    } else {
      end_record_guard();
    }
  }
}

namespace {

// Ends a record that will not be written; see abandon_record_file. Called with
// ending signals held.
void abandon(record_file& file) {
  end_record_guard();
  file_facts facts{};
  if (file.place == record_place::beside && file.handle.value == -1) {
    // Closed already: removed by name while that still leads to it.
    if (facts_of_name(file.new_name.c_str(), facts) == 0 &&
        same_file(facts.id, file.written)) {
      remove_leftover(file.new_name.c_str());
    }
  } else if (file.place == record_place::beside ||
             (file.place == record_place::direct &&
              facts_of(file.handle, facts) == 0 && facts.size == 0)) {
    remove_file(file.handle, written_name(file));
  } else if (file.handle.value != -1) {
    close_file(file.handle);
  }
  if (file.target.value != -1) close_file(file.target);
}

// Puts the synced record in place, or abandons it when its last steps fail.
// Called with ending signals held.
void finish_record(record_file& file) {
  // A new file is complete, closed, before it takes the record's name.
  if (file.error == 0 && file.place == record_place::beside) {
    file.error = close_file(file.handle);
  }
  if (file.error != 0) {
    file.failure = record_failure::write;
    abandon(file);
    return;
  }
  end_record_guard();
  put_in_place(file);
  if (file.handle.value != -1) {
    const int close_error = close_file(file.handle);
    if (file.error == 0 && close_error != 0) {
      file.error = close_error;
      file.failure = record_failure::write;
    }
  }
  if (file.target.value != -1) close_file(file.target);
}

}  // namespace

int close_record_file(record_file& file) {
  // A signal meanwhile waits until the record is in place or abandoned: its
  // action never races the flush, the sync or the rename.
  hold_ending_signals();
  if (file.handle.value == -1) {
    end_record_guard();
  } else {
    file.stream.flush();
    note_write_error(file);
    if (file.error == 0) file.error = sync_file(file.handle);
    finish_record(file);
  }
  release_ending_signals();
  return file.error;
}

void abandon_record_file(record_file& file) {
  hold_ending_signals();
  abandon(file);
  release_ending_signals();
}
