// Fuzz target for the whole questionnaire: fill_in_record over fuzzed console
// input, storing the record among files held in memory (record/memory_files.h),
// and checks of what it leaves there.
//
// The fuzz input is the console input only; the file name is this target's
// own. What else the run meets, a previous record and one failing file
// primitive, follows from a hash of the input, so that a seed still means
// the answers it types.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/dialogue.h"
#include "fuzz/reading_model.h"
#include "record/memory_files.h"

namespace {

using fuzz_model::require;

constexpr std::size_t fixed_lines = 18;
constexpr std::size_t max_text = answer_capacity - 1;
constexpr std::string_view perk_count_prompt =
    "How many Perks do you need to enter: ";
constexpr std::string_view perk_prompt = "Enter perk: ";
constexpr std::string_view indent = "        ";

constexpr std::string_view record_name = "hero.TXT";
constexpr std::string_view leftover_name = ".hero.TXT.cardstow-new";
// A previous record: not a record sheet, so never taken for the new one.
constexpr std::string_view previous_record = "Name: an earlier hero\r\n";

const text_field& record_path() {
  static const text_field path = [] {
    text_field name{};
    std::copy(record_name.begin(), record_name.end(), name.begin());
    return name;
  }();
  return path;
}

// What the run meets besides its console input.
struct circumstances {
  bool previous = false;  // a previous record is there
  memory_fault fault;
};

// Chosen by an FNV-1a hash of the input: no fault for four inputs in ten.
circumstances circumstances_of(std::string_view input) {
  std::uint64_t hash = 14695981039346656037u;
  for (const char c : input) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
  }
  constexpr memory_fault_point points[] = {
      memory_fault_point::none,       memory_fault_point::none,
      memory_fault_point::none,       memory_fault_point::none,
      memory_fault_point::write,      memory_fault_point::sync,
      memory_fault_point::close,      memory_fault_point::rename,
      memory_fault_point::entry_sync, memory_fault_point::create_new};
  circumstances run;
  run.previous = (hash & 1) != 0;
  run.fault.point = points[(hash >> 1) % std::size(points)];
  run.fault.bytes_before = static_cast<std::size_t>((hash >> 8) % 640);
  return run;
}

// How far console input had been read at a flush of console output.
std::size_t input_position(std::istream& in) {
  const std::streamoff at =
      in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
  require(at >= 0, "the input position is known");
  return static_cast<std::size_t>(at);
}

// Console output that notes where console input stood when the perk count
// and the first perk were asked: the readers flush output before they read.
class console_output : public std::stringbuf {
 public:
  explicit console_output(std::istream& in) : in_(in) {}
  std::size_t perk_count_read_from = std::string::npos;
  std::size_t perks_read_from = std::string::npos;

 protected:
  int sync() override {
    note_if_asked(perk_count_prompt, perk_count_read_from);
    note_if_asked(perk_prompt, perks_read_from);
    return 0;
  }

 private:
  void note_if_asked(std::string_view prompt, std::size_t& read_from) {
    if (read_from == std::string::npos && view().ends_with(prompt)) {
      read_from = input_position(in_);
    }
  }

  std::istream& in_;
};

std::vector<std::string> lines_of(const std::string* content) {
  require(content != nullptr, "the record file exists");
  require(!content->empty() && content->back() == '\n',
          "the record ends with a line end");
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < content->size()) {
    const std::size_t feed = content->find('\n', from);
    lines.push_back(content->substr(from, feed - from));
    from = feed + 1;
  }
  return lines;
}

// A number as the record writes it: shortest decimal form, 32 bits.
bool is_record_number(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), fuzz_model::is_digit)) {
    return false;
  }
  if (digits.size() > 1 && digits.front() == '0') return false;
  if (negative && digits == "0") return false;
  return fuzz_model::value_of(digits, negative).has_value();
}

bool is_labelled_text(std::string_view line, std::string_view label) {
  return line.starts_with(label) && line.size() - label.size() <= max_text;
}

bool is_labelled_number(std::string_view line, std::string_view label) {
  return line.starts_with(label) && is_record_number(line.substr(label.size()));
}

// "ST: 6      IN: 8": two labelled numbers six spaces apart.
bool is_attribute_pair(std::string_view line, std::string_view left,
                       std::string_view right) {
  if (!line.starts_with(left)) return false;
  const std::string_view rest = line.substr(left.size());
  const std::size_t gap = rest.find(' ');
  if (gap == std::string_view::npos) return false;
  return is_record_number(rest.substr(0, gap)) &&
         is_labelled_number(rest.substr(gap),
                            std::string("      ") + std::string(right));
}

void check_record_sheet(const std::vector<std::string>& lines) {
  require(lines.size() >= fixed_lines, "the record has its 18 fixed lines");
  require(lines[0] == "Ironvale Scout Corps Personal Record", "line 1: title");
  require(lines[1].empty() && lines[4].empty() && lines[9].empty() &&
              lines[12].empty() && lines[16].empty(),
          "lines 2, 5, 10, 13 and 17 are empty");
  require(is_labelled_text(lines[2], "Name: "), "line 3: Name");
  require(is_labelled_number(lines[3], "Level: "), "line 4: Level");
  require(is_attribute_pair(lines[5], "ST: ", "IN: "), "line 6: ST and IN");
  require(is_attribute_pair(lines[6], "PE: ", "AG: "), "line 7: PE and AG");
  require(is_attribute_pair(lines[7], "EN: ", "LK: "), "line 8: EN and LK");
  require(is_labelled_number(lines[8], "CH: "), "line 9: CH");
  require(is_labelled_text(lines[10], "Traits: "), "line 11: Traits");
  require(is_labelled_text(lines[11], indent), "line 12: second trait");
  require(is_labelled_text(lines[13], "Tags:   "), "line 14: Tags");
  require(is_labelled_text(lines[14], indent), "line 15: second tag");
  require(is_labelled_text(lines[15], indent), "line 16: third tag");
  require(lines[17] == "Perks:", "line 18: Perks");
}

std::size_t count_of(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

// The perk count the questionnaire took: the number read from where its
// prompt left the input; zero when input had ended before it.
std::int64_t perk_count_taken(std::string_view input, std::size_t from) {
  if (from == std::string::npos) return 0;
  return fuzz_model::expected_number_read(input, from).value.value_or(0);
}

// The perk answers typed: the lines left in the input when the first perk
// was asked, a last line without its line feed included.
std::size_t perk_answers_typed(std::string_view input, std::size_t from) {
  if (from == std::string::npos || from >= input.size()) return 0;
  const std::string_view rest = input.substr(from);
  const auto feeds =
      static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n'));
  return rest.back() == '\n' ? feeds : feeds + 1;
}

void check_perks(const std::vector<std::string>& lines, std::string_view input,
                 const console_output& out) {
  const std::size_t perk_lines = lines.size() - fixed_lines;
  const auto perk_count = static_cast<std::size_t>(std::max<std::int64_t>(
      perk_count_taken(input, out.perk_count_read_from), 0));
  const std::size_t perks_asked = count_of(out.view(), perk_prompt);
  const std::size_t perks_typed =
      perk_answers_typed(input, out.perks_read_from);
  require(perk_lines <= perk_count,
          "never more perk lines than the perk count");
  require(perk_lines <= perks_asked,
          "never more perk lines than perk answers read");
  require(perk_lines <= perks_typed,
          "a perk line is written only for a perk answer typed");
  require(perk_lines == std::min(perk_count, perks_typed),
          "every perk typed, up to the perk count, is in the record");
  require(perks_asked <= perk_lines + 1,
          "no perk is asked once input has ended");
  for (std::size_t i = fixed_lines; i < lines.size(); ++i) {
    require(lines[i].size() <= max_text, "a perk line is at most 29 bytes");
  }
}

void check_closing(int status, const console_output& out,
                   const std::ostringstream& err) {
  const std::string closing =
      std::string("\nAll this information has been ") + "stored in " +
      std::string(text_of(record_path())) + "\nThanks for using CARDSTOW.\n";
  require(status == 0, "the run ends with status 0");
  require(err.view().empty(), "nothing is reported on standard error");
  require(out.view().ends_with(closing),
          "the run ends with the report and the thanks line");
}

// A run the fault did not stop: the record, and nothing else, is stored.
void check_stored(int status, std::string_view input, const console_output& out,
                  const std::ostringstream& err) {
  check_closing(status, out, err);
  const std::vector<std::string> lines =
      lines_of(memory_file_content(record_name));
  check_record_sheet(lines);
  check_perks(lines, input, out);
  require(
      memory_file_names() == std::vector<std::string>{std::string(record_name)},
      "no file but the record is left");
}

// A run whose store failed: reported, and the previous record kept byte for
// byte unless the record had already taken its place (a failed sync of its
// entry). Only a new file that could not be renamed is left, complete.
void check_failed(int status, const circumstances& run,
                  const console_output& out, const std::ostringstream& err) {
  const memory_fault_point point = run.fault.point;
  require(status == 1, "a failed store ends with status 1");
  require(!err.view().empty(), "a failed store is reported");
  require(out.view().find("has been stored in") == std::string_view::npos,
          "a failed store has no report line");
  const std::string* leftover = memory_file_content(leftover_name);
  require((leftover != nullptr) ==
              (run.previous && point == memory_fault_point::rename),
          "a new file is left only when it could not be renamed");
  if (leftover != nullptr) check_record_sheet(lines_of(leftover));
  if (point == memory_fault_point::entry_sync) {
    check_record_sheet(lines_of(memory_file_content(record_name)));
  } else if (run.previous) {
    const std::string* kept = memory_file_content(record_name);
    require(kept != nullptr && *kept == previous_record,
            "a failed run keeps the previous record byte for byte");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const circumstances run = circumstances_of(input);
  reset_memory_files(run.fault);
  if (run.previous) {
    put_memory_file(std::string(record_name), previous_record);
  }
  std::istringstream in(input);
  console_output out_buffer(in);
  std::ostream out(&out_buffer);
  std::ostringstream err;
  in.tie(&out);

  const int status = fill_in_record(record_path(), in, out, err);
  require(open_memory_handles() == 0, "every file is closed at the end");
  require(locked_memory_files() == 0, "no lock outlives the run");
  // A new file that cannot be made only makes the record be written in place.
  if (memory_fault_happened() &&
      run.fault.point != memory_fault_point::create_new) {
    check_failed(status, run, out_buffer, err);
  } else {
    check_stored(status, input, out_buffer, err);
  }
  return 0;
}
