// What an answer read should take from console input, worked out from the
// input text alone; the fuzz targets hold the readers to it.
#ifndef CARDSTOW_FUZZ_READING_MODEL_H_
#define CARDSTOW_FUZZ_READING_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace fuzz_model {

// Stops the fuzz run with `what` when `holds` is false.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "cardstow fuzz check failed: %s\n", what);
  std::abort();
}

inline bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Where the line starting at `from` ends: the offset of its line feed, or
// the input's end when it has none.
inline std::size_t line_end(std::string_view input, std::size_t from) {
  const std::size_t feed = input.find('\n', from);
  return feed == std::string_view::npos ? input.size() : feed;
}

// The answer a text read takes from the line starting at `from`: the line
// without its line end, a carriage return right before the line feed
// included in the line end.
inline std::string_view answer_line(std::string_view input, std::size_t from) {
  const std::size_t end = line_end(input, from);
  std::string_view line = input.substr(from, end - from);
  if (end < input.size() && line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

// The position just past the rest of the line starting at `from`.
inline std::size_t past_line(std::string_view input, std::size_t from) {
  const std::size_t end = line_end(input, from);
  return end < input.size() ? end + 1 : end;
}

// One token at a number prompt: an optional sign and the digits after it.
struct number_token {
  std::size_t end = 0;                // first position not in the token
  std::optional<std::int32_t> value;  // set when the token is a valid number
};

// The value of `digits` (decimal digits only) with `negative` sign, when it
// fits 32 bits. Leading zeros are dropped; more than ten digits left over
// cannot fit.
inline std::optional<std::int32_t> value_of(std::string_view digits,
                                            bool negative) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::int64_t magnitude = 0;
  for (const char c : digits) magnitude = magnitude * 10 + (c - '0');
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

inline number_token token_at(std::string_view input, std::size_t from) {
  number_token token;
  std::size_t at = from;
  const bool negative = at < input.size() && input[at] == '-';
  if (at < input.size() && (input[at] == '-' || input[at] == '+')) ++at;
  const std::size_t digits_from = at;
  while (at < input.size() && is_digit(input[at])) ++at;
  token.end = at;
  token.value = value_of(input.substr(digits_from, at - digits_from), negative);
  return token;
}

// The outcome of one number read that starts at `from`.
struct number_read {
  std::optional<std::int32_t> value;  // the number stored, if any
  std::size_t end = 0;                // where the reader stops in the input
  int refusals = 0;                   // invalid tokens refused on the way
  bool prompt_after_last_refusal = false;  // input was left after it
};

// A number read: skip white space; a valid token is the answer; an invalid
// one is refused, the rest of its line dropped, and the read starts again.
inline number_read expected_number_read(std::string_view input,
                                        std::size_t from) {
  number_read read;
  std::size_t at = from;
  for (;;) {
    while (at < input.size() && is_blank(input[at])) ++at;
    if (at == input.size()) break;
    const number_token token = token_at(input, at);
    if (token.value) {
      read.value = token.value;
      at = token.end;
      break;
    }
    ++read.refusals;
    const std::size_t end = line_end(input, token.end);
    read.prompt_after_last_refusal = end < input.size();
    at = past_line(input, token.end);
  }
  read.end = at;
  return read;
}

}  // namespace fuzz_model

#endif  // CARDSTOW_FUZZ_READING_MODEL_H_
