// Fuzz target for the answer readers: runs a fuzzed sequence of text, number
// and discard reads over fuzzed console input and checks each one.
//
// Input layout: the first line (at most 64 bytes, its line feed dropped) is
// the script, one read per byte: 't' text, 'n' number, 'd' discard, any
// other byte picks by its value modulo 3. The rest is the console input.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ios>
#include <sstream>
#include <string>
#include <string_view>

#include "console/answer_reading.h"
#include "fuzz/reading_model.h"

namespace {

using fuzz_model::require;

constexpr std::size_t max_reads = 64;
constexpr std::size_t max_text = answer_capacity - 1;
constexpr char untouched = 'Z';  // fills a field before each read
constexpr std::string_view prompt = "Again: ";

enum class read_kind { text, number, discard };

read_kind kind_of(char op) {
  if (op == 't') return read_kind::text;
  if (op == 'n') return read_kind::number;
  if (op == 'd') return read_kind::discard;
  switch (static_cast<unsigned char>(op) % 3) {
    case 0:
      return read_kind::text;
    case 1:
      return read_kind::number;
    default:
      return read_kind::discard;
  }
}

// The console as the reads see it, and what they have done to it so far.
struct console {
  std::string input;
  std::istringstream in;
  std::ostringstream out;
  std::int32_t number = 0x5A5A5A5A;  // the target of every number read
};

// How far into the input the readers have gone.
std::size_t position(console& con) {
  const std::streamoff at =
      con.in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
  require(at >= 0, "the input position is known");
  return static_cast<std::size_t>(at);
}

bool is_continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u;
}

// The length a UTF-8 lead byte announces: 2, 3 or 4; 0 for any other byte.
std::size_t announced_length(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  if ((b & 0xE0u) == 0xC0u) return 2;
  if ((b & 0xF0u) == 0xE0u) return 3;
  if ((b & 0xF8u) == 0xF0u) return 4;
  return 0;
}

// Whether `second` may follow the lead byte `lead` in well-formed UTF-8: no
// overlong form (C0, C1; E0 and F0 with a low second byte), no surrogate (ED
// A0 to BF), nothing past U+10FFFF (F4 90 on, F5 to FF).
bool second_byte_fits(char lead, char second) {
  const auto l = static_cast<unsigned char>(lead);
  const auto b = static_cast<unsigned char>(second);
  if (l == 0xC0u || l == 0xC1u || l > 0xF4u) return false;
  if (l == 0xE0u) return b >= 0xA0u;
  if (l == 0xEDu) return b < 0xA0u;
  if (l == 0xF0u) return b >= 0x90u;
  if (l == 0xF4u) return b < 0x90u;
  return true;
}

// Whether `line` holds a whole, well-formed multi-byte character starting at
// `lead`.
bool whole_character_at(std::string_view line, std::size_t lead) {
  const std::size_t length = announced_length(line[lead]);
  if (length == 0 || lead + length > line.size()) return false;
  if (!second_byte_fits(line[lead], line[lead + 1])) return false;
  for (std::size_t i = lead + 1; i < lead + length; ++i) {
    if (!is_continuation(line[i])) return false;
  }
  return true;
}

// True when a cut after `kept` bytes splits a character `line` holds whole.
bool splits_whole_character(std::string_view line, std::size_t kept) {
  const std::size_t first = kept < 3 ? 0 : kept - 3;
  for (std::size_t lead = first; lead < kept; ++lead) {
    if (whole_character_at(line, lead) &&
        lead + announced_length(line[lead]) > kept) {
      return true;
    }
  }
  return false;
}

// Where a line longer than a field is cut: after 29 bytes, or before the
// first byte of the whole character that such a cut would split.
std::size_t expected_cut(std::string_view line) {
  for (std::size_t lead = max_text - 3; lead < max_text; ++lead) {
    if (whole_character_at(line, lead) &&
        lead + announced_length(line[lead]) > max_text) {
      return lead;
    }
  }
  return max_text;
}

// The bytes of `line` a text read keeps: all of a line of up to 29 bytes,
// else the cut.
std::string_view kept_part(std::string_view line) {
  return line.size() <= max_text ? line : line.substr(0, expected_cut(line));
}

// The text a field shows for `kept`: a NUL byte ends it, as the terminator.
std::string_view shown_text(std::string_view kept) {
  return kept.substr(0, kept.find('\0'));
}

text_read expected_result(std::string_view line) {
  if (kept_part(line).find('\0') != std::string_view::npos) {
    return text_read::nul;
  }
  return line.size() > max_text ? text_read::cut : text_read::whole;
}

void check_text_contents(const text_field& field, std::string_view line) {
  const void* terminator = std::memchr(field.data(), '\0', field.size());
  require(terminator != nullptr, "a stored text is at most 29 bytes");
  const std::string_view stored = text_of(field);
  require(line.substr(0, stored.size()) == stored,
          "a stored text is a prefix of its line");
  if (line.size() <= max_text) {
    require(stored == shown_text(line),
            "a line of up to 29 bytes is kept whole");
    return;
  }
  if (line.substr(0, max_text).find('\0') == std::string_view::npos) {
    require(!splits_whole_character(line, stored.size()),
            "a cut never ends inside a whole UTF-8 character");
  }
  require(stored == shown_text(kept_part(line)),
          "a cut line keeps 29 bytes, or stops before the character they "
          "would split");
}

void run_text_read(console& con, std::size_t from) {
  text_field field;
  field.fill(untouched);
  const text_read got = read_text_answer(con.in, field);
  const std::size_t to = position(con);
  require(to >= from, "a text read never goes back in the input");
  if (from == con.input.size()) {
    require(got == text_read::ended && field[0] == '\0',
            "a text read at the end of input stores nothing");
    require(to == from, "a text read at the end of input takes nothing");
    return;
  }
  const std::string_view line = fuzz_model::answer_line(con.input, from);
  require(to == fuzz_model::past_line(con.input, from),
          "a text read consumes its line through the line feed");
  require(got == expected_result(line),
          "a text read reports whether it cut the line or met a NUL byte");
  check_text_contents(field, line);
}

// What the reader prints for `read`: a refusal line for each invalid token,
// each followed by the prompt again unless input has ended.
std::string expected_refusals(const fuzz_model::number_read& read) {
  std::string text;
  for (int i = 1; i <= read.refusals; ++i) {
    text += invalid_number_message;
    text += '\n';
    if (i < read.refusals || read.prompt_after_last_refusal) text += prompt;
  }
  return text;
}

void run_number_read(console& con, std::size_t from) {
  const std::int32_t before = con.number;
  const std::size_t printed = con.out.view().size();
  const bool stored = read_number_answer(con.in, con.out, prompt, con.number);
  const std::size_t to = position(con);
  require(to >= from, "a number read never goes back in the input");
  const fuzz_model::number_read expected =
      fuzz_model::expected_number_read(con.input, from);
  require(stored == expected.value.has_value(),
          "a number is stored exactly when a valid one is in the input");
  require(con.number == (expected.value ? *expected.value : before),
          "a number read stores the valid number, or keeps the old value");
  require(to == expected.end,
          "a number read stops right after its number or at end of input");
  require(con.out.view().substr(printed) == expected_refusals(expected),
          "each invalid number is refused and asked again");
}

void run_discard(console& con, std::size_t from) {
  discard_rest_of_line(con.in);
  const std::size_t to = position(con);
  require(to >= from, "a discard never goes back in the input");
  require(to == fuzz_model::past_line(con.input, from),
          "a discard drops the rest of the line through its line feed");
}

void run_read(console& con, read_kind kind) {
  const std::size_t from = position(con);
  switch (kind) {
    case read_kind::text:
      run_text_read(con, from);
      break;
    case read_kind::number:
      run_number_read(con, from);
      break;
    case read_kind::discard:
      run_discard(con, from);
      break;
  }
  const std::size_t to = position(con);
  require(to <= con.input.size(), "no read goes past the end of input");
  require(con.in.good() || to == con.input.size(),
          "console input stays good while input remains");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t feed = bytes.substr(0, max_reads).find('\n');
  const std::string_view script =
      bytes.substr(0, feed == std::string_view::npos ? max_reads : feed);
  const std::size_t input_from =
      feed == std::string_view::npos ? script.size() : feed + 1;

  console con;
  con.input = std::string(bytes.substr(std::min(input_from, bytes.size())));
  con.in.str(con.input);
  con.in.tie(&con.out);
  for (const char op : script) run_read(con, kind_of(op));
  return 0;
}
