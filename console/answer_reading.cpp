// Reads answers from console input one character at a time through its
// stream buffer, holding at most a few bytes of any line.
#include "console/answer_reading.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <string_view>

#include "text/utf8.h"

namespace {

using traits = std::char_traits<char>;
constexpr traits::int_type end_of_input = traits::eof();
constexpr std::size_t max_text = answer_capacity - 1;
// A text read looks this many bytes past the field's room, enough to see
// whether a cut would split a UTF-8 character of up to four bytes.
constexpr std::size_t utf8_lookahead = 3;

void flush_console_output(std::istream& in) {
  if (std::ostream* tied = in.tie()) tied->flush();
}

bool is_white_space(traits::int_type c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool is_digit(traits::int_type c) { return c >= '0' && c <= '9'; }

// Where to cut a line whose first `available` (> max_text) bytes are in
// `bytes`: at max_text, or earlier at the first byte of a character that
// the cut would split, provided the line holds that character whole.
std::size_t cut_point(const char* bytes, std::size_t available) {
  const std::string_view line(bytes, available);
  for (std::size_t lead = max_text - 1; lead + 4 > max_text; --lead) {
    if ((static_cast<unsigned char>(line[lead]) & 0xC0u) == 0x80u) continue;
    const std::size_t length = utf8_lead_length(line[lead]);
    char32_t code = 0;
    const bool whole = utf8_decode(line.substr(lead), code) == length;
    return whole && lead + length > max_text ? lead : max_text;
  }
  return max_text;
}

struct number_token {
  bool has_digit = false;
  bool in_range = true;
  std::int64_t value = 0;
};

// Takes an optional sign and the digits after it from `buf`, leaving the
// first character that cannot continue the number. The magnitude saturates
// just past the limit, so a run of digits of any length is safe to take.
number_token take_number(std::streambuf& buf) {
  number_token token;
  traits::int_type c = buf.sgetc();
  const bool negative = c == '-';
  if (c == '-' || c == '+') c = buf.snextc();
  const std::int64_t limit =
      negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
               : std::int64_t{std::numeric_limits<std::int32_t>::max()};
  std::int64_t magnitude = 0;
  for (; is_digit(c); c = buf.snextc()) {
    token.has_digit = true;
    magnitude = std::min(magnitude * 10 + (c - '0'), limit + 1);
  }
  token.in_range = magnitude <= limit;
  token.value = negative ? -magnitude : magnitude;
  return token;
}

text_read take_text_answer(std::istream& in, text_field& field) {
  flush_console_output(in);
  std::streambuf& buf = *in.rdbuf();
  std::array<char, max_text + utf8_lookahead> head;
  std::size_t taken = 0;
  traits::int_type c = buf.sgetc();
  for (; taken < head.size() && c != end_of_input && c != '\n';
       c = buf.snextc()) {
    head[taken++] = traits::to_char_type(c);
  }
  if (c == end_of_input) {
    in.setstate(taken == 0 ? std::ios::eofbit | std::ios::failbit
                           : std::ios::eofbit);
    if (taken == 0) return text_read::ended;
  } else if (c == '\n') {
    buf.sbumpc();  // the line ended within reach: only its line feed is left
    // A carriage return before the line feed belongs to the line end.
    if (taken > 0 && head[taken - 1] == '\r') --taken;
  } else {
    discard_rest_of_line(in);
  }
  const bool cut = taken > max_text;
  const std::size_t kept = cut ? cut_point(head.data(), taken) : taken;
  std::copy_n(head.begin(), kept, field.begin());
  field[kept] = '\0';
  if (text_of(field).size() < kept) return text_read::nul;
  return cut ? text_read::cut : text_read::whole;
}

bool take_number_answer(std::istream& in, std::ostream& out,
                        std::string_view prompt, std::int32_t& target) {
  while (in.good()) {
    flush_console_output(in);
    std::streambuf& buf = *in.rdbuf();
    traits::int_type c = buf.sgetc();
    while (is_white_space(c)) c = buf.snextc();
    if (c == end_of_input) {
      in.setstate(std::ios::eofbit | std::ios::failbit);
      return false;
    }
    const number_token token = take_number(buf);
    if (buf.sgetc() == end_of_input) in.setstate(std::ios::eofbit);
    if (token.has_digit && token.in_range) {
      target = static_cast<std::int32_t>(token.value);
      return true;
    }
    out << invalid_number_message << std::endl;
    discard_rest_of_line(in);
    if (in.good()) out << prompt;
  }
  return false;
}

}  // namespace

text_read read_text_answer(std::istream& in, text_field& field) {
  field[0] = '\0';
  if (!in.good()) return text_read::ended;
  return take_text_answer(in, field);
}

bool read_number_answer(std::istream& in, std::ostream& out,
                        std::string_view prompt, std::int32_t& target) {
  return take_number_answer(in, out, prompt, target);
}

void discard_rest_of_line(std::istream& in) {
  if (!in.good()) return;
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}
