// Reading rules for text answers, number answers and the discard, driven on
// in-memory console input, and the decoding of standard input before them.
#include "console/answer_reading.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/input_decoding.h"

namespace {

std::string rest_of(std::istream& in) {
  in.clear();
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ascii(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

struct text_case {
  std::string line;  // console input before the next line, "next\n"
  std::string stored;
  text_read result;
};

TEST(ReadTextAnswer, StoresLineAndConsumesItWhole) {
  const text_case cases[] = {
      {"\n", "", text_read::whole},
      {"x\n", "x", text_read::whole},
      {ascii(29) + "\n", ascii(29), text_read::whole},
      {ascii(30) + "\n", ascii(29), text_read::cut},
      {ascii(108) + "\n", ascii(29), text_read::cut},
      {ascii(109) + "\n", ascii(29), text_read::cut},
      {ascii(5000) + "\n", ascii(29), text_read::cut},
      {"  \tLeading blanks\n", "  \tLeading blanks", text_read::whole},
      // A carriage return before the line feed is part of the line end;
      // the limit and the cut apply to what remains.
      {"trailing \r\n", "trailing ", text_read::whole},
      {"\r\n", "", text_read::whole},
      {"two\r\r\n", "two\r", text_read::whole},
      {"in\rside\n", "in\rside", text_read::whole},
      {ascii(29) + "\r\n", ascii(29), text_read::whole},
      {ascii(30) + "\r\n", ascii(29), text_read::cut},
      {ascii(31) + "\r\n", ascii(29), text_read::cut},
      {ascii(27) + "\xC3\xA9" + "\r\n", ascii(27) + "\xC3\xA9",
       text_read::whole},
      {ascii(28) + "\xC3\xA9" + "\r\n", ascii(28), text_read::cut},
      // A cut that falls inside a character held whole moves before it.
      {ascii(28) + "\xC3\xA9" + "\n", ascii(28), text_read::cut},
      {ascii(27) + "\xC3\xA9" + "\n", ascii(27) + "\xC3\xA9", text_read::whole},
      {ascii(27) + "\xC3\xA9z\n", ascii(27) + "\xC3\xA9", text_read::cut},
      {ascii(27) + "\xE2\x82\xAC" + "\n", ascii(27), text_read::cut},
      {ascii(28) + "\xE2\x82\xAC" + "\n", ascii(28), text_read::cut},
      {ascii(26) + "\xE2\x82\xAC" + "\n", ascii(26) + "\xE2\x82\xAC",
       text_read::whole},
      {ascii(26) + "\xF0\x9F\x98\x80" + "\n", ascii(26), text_read::cut},
      {ascii(27) + "\xF0\x9F\x98\x80" + "\n", ascii(27), text_read::cut},
      {ascii(28) + "\xF0\x9F\x98\x80" + "\n", ascii(28), text_read::cut},
      {ascii(25) + "\xF0\x9F\x98\x80" + "\n", ascii(25) + "\xF0\x9F\x98\x80",
       text_read::whole},
      // Bytes that do not form a whole character are kept as typed.
      {ascii(28) + "\xC3" + "a\n", ascii(28) + "\xC3", text_read::cut},
      {ascii(28) + "\xE2\x82" + "\n", ascii(28) + "\xE2", text_read::cut},
      {ascii(28) + "\xC3" + "\n", ascii(28) + "\xC3", text_read::whole},
      {ascii(29) + "\xA9\xA9" + "\n", ascii(29), text_read::cut},
      // F8 leads no character (no 5-byte form), nor does an overlong form
      // hold one: the cut stays at 29.
      {ascii(26) + "\xF8\x80\x80\x80\x80\n", ascii(26) + "\xF8\x80\x80",
       text_read::cut},
      {ascii(26) + "\xF0\x80\x80\x80\n", ascii(26) + "\xF0\x80\x80",
       text_read::cut},
      // A NUL byte ends the stored text, and the reader says so.
      {std::string("ab\0cd\n", 6), "ab", text_read::nul},
      {std::string("\0\n", 2), "", text_read::nul},
      {ascii(40) + std::string(1, '\0') + "\n", ascii(29), text_read::cut},
      {std::string(1, '\0') + ascii(40) + "\n", "", text_read::nul},
  };
  for (const text_case& c : cases) {
    std::istringstream in(c.line + "next\n");
    text_field field{};
    EXPECT_EQ(read_text_answer(in, field), c.result) << "line: " << c.line;
    EXPECT_EQ(text_of(field), c.stored) << "line: " << c.line;
    EXPECT_TRUE(in.good()) << "line: " << c.line;
    EXPECT_EQ(rest_of(in), "next\n") << "line: " << c.line;
  }
}

TEST(ReadTextAnswer, EndOfInput) {
  struct eof_case {
    std::string input;
    std::string stored;
    text_read result;
  };
  const eof_case cases[] = {
      {"", "", text_read::ended},
      {"partial", "partial", text_read::whole},
      {"lone\r", "lone\r", text_read::whole},
      {ascii(40), ascii(29), text_read::cut},
  };
  for (const eof_case& c : cases) {
    std::istringstream in(c.input);
    text_field field{};
    field[0] = 'z';
    EXPECT_EQ(read_text_answer(in, field), c.result) << "input: " << c.input;
    EXPECT_EQ(text_of(field), c.stored) << "input: " << c.input;
    EXPECT_TRUE(in.eof()) << "input: " << c.input;
    // Once input has ended every later read stores an empty text at once.
    EXPECT_EQ(read_text_answer(in, field), text_read::ended)
        << "input: " << c.input;
    EXPECT_EQ(text_of(field), "") << "input: " << c.input;
  }
}

TEST(ReadTextAnswer, LinesFollowOneAnother) {
  std::istringstream in("\n" + ascii(109) + "\nsecond\n\nfourth");
  const std::string expected[] = {"", ascii(29), "second", "", "fourth"};
  for (const std::string& want : expected) {
    text_field field{};
    read_text_answer(in, field);
    EXPECT_EQ(text_of(field), want);
  }
  text_field field{};
  EXPECT_EQ(read_text_answer(in, field), text_read::ended);
}

struct number_case {
  std::string input;
  bool stored;
  std::int32_t value;  // the target afterwards; it starts at -77
  std::string out;     // console output; R stands for one refusal line
  std::string rest;
};

// Console output with each R replaced by the refusal line.
std::string with_refusals(const std::string& pattern) {
  std::string out;
  for (const char c : pattern) {
    out += c == 'R' ? std::string(invalid_number_message) + "\n"
                    : std::string(1, c);
  }
  return out;
}

TEST(ReadNumberAnswer, ParsesOrAsksAgain) {
  const number_case cases[] = {
      {"42\n", true, 42, "", "\n"},
      {"+4\n", true, 4, "", "\n"},
      {"-3\n", true, -3, "", "\n"},
      {"007\n", true, 7, "", "\n"},
      {"0\n", true, 0, "", "\n"},
      {"2147483647\n", true, 2147483647, "", "\n"},
      {"-2147483648\n", true, -2147483647 - 1, "", "\n"},
      {"\n\n \t\v\f\r 9 rest\n", true, 9, "", " rest\n"},
      {"12abc\n", true, 12, "", "abc\n"},
      {"1e5\n", true, 1, "", "e5\n"},
      {"0x1A\n", true, 0, "", "x1A\n"},
      {"5 6 7\n", true, 5, "", " 6 7\n"},
      {"2147483648\n8\n", true, 8, "RN: ", "\n"},
      {"-2147483649\n8\n", true, 8, "RN: ", "\n"},
      {"99999999999999999999999999999999 9\n8\n", true, 8, "RN: ", "\n"},
      {"abc 5\n8\n", true, 8, "RN: ", "\n"},
      {"-\n+\n- 4\n8\n", true, 8, "RN: RN: RN: ", "\n"},
      {"x\ny\n\n-8", true, -8, "RN: RN: ", ""},
      {"", false, -77, "", ""},
      {" \n\n", false, -77, "", ""},
      {"junk\n", false, -77, "RN: ", ""},
      {"+", false, -77, "R", ""},
      {"2147483648", false, -77, "R", ""},
  };
  for (const number_case& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream out;
    std::int32_t target = -77;
    EXPECT_EQ(read_number_answer(in, out, "N: ", target), c.stored)
        << "input: " << c.input;
    EXPECT_EQ(target, c.value) << "input: " << c.input;
    EXPECT_EQ(out.str(), with_refusals(c.out)) << "input: " << c.input;
    EXPECT_EQ(rest_of(in), c.rest) << "input: " << c.input;
  }
}

TEST(ReadNumberAnswer, SeveralNumbersOnOneLine) {
  std::istringstream in("5 6\t7\n-1\n");
  std::ostringstream out;
  for (const std::int32_t want : {5, 6, 7, -1}) {
    std::int32_t target = 0;
    EXPECT_TRUE(read_number_answer(in, out, "N: ", target));
    EXPECT_EQ(target, want);
  }
  EXPECT_EQ(out.str(), "");
}

TEST(ReadNumberAnswer, EndOfInputAfterDigitsStillStores) {
  std::istringstream in("-12");
  std::ostringstream out;
  std::int32_t target = 0;
  EXPECT_TRUE(read_number_answer(in, out, "N: ", target));
  EXPECT_EQ(target, -12);
  EXPECT_TRUE(in.eof());
  // Once input has ended a number read leaves its target alone.
  EXPECT_FALSE(read_number_answer(in, out, "N: ", target));
  EXPECT_EQ(target, -12);
}

// Gives `bytes`, then fails the next read as the console input buffer does:
// it gives the end of input and keeps the error for the dialogue.
class failing_input : public std::stringbuf {
 public:
  explicit failing_input(const std::string& bytes) : std::stringbuf(bytes) {}
  int failed_reads = 0;

 protected:
  int_type underflow() override {
    const int_type c = std::stringbuf::underflow();
    if (!traits_type::eq_int_type(c, traits_type::eof())) return c;
    ++failed_reads;
    return c;
  }
};

TEST(AnswerReading, ReadErrorEndsInputForGood) {
  struct failure_case {
    std::string before;  // what was read before the error
    char kind;           // 't' text, 'n' number, 'd' discard
  };
  const failure_case cases[] = {
      {"", 't'}, {"Mara", 't'},           {"", 'n'}, {"12", 'n'}, {"ten", 'n'},
      {"", 'd'}, {"rest of a line", 'd'},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "read " << c.kind << " of \"" << c.before
                                    << "\" then a read error");
    failing_input buffer(c.before);
    std::istream in(&buffer);
    std::ostringstream out;
    text_field field{};
    std::int32_t number = -77;
    if (c.kind == 't') {
      read_text_answer(in, field);
    } else if (c.kind == 'n') {
      read_number_answer(in, out, "N: ", number);
    } else {
      discard_rest_of_line(in);
    }
    EXPECT_TRUE(in.eof());
    const int reads = buffer.failed_reads;
    EXPECT_GE(reads, 1);
    field[0] = '\0';
    number = -77;
    // From then on every read returns at once, the buffer not asked again.
    EXPECT_EQ(read_text_answer(in, field), text_read::ended);
    EXPECT_FALSE(read_number_answer(in, out, "N: ", number));
    discard_rest_of_line(in);
    EXPECT_EQ(text_of(field), "");
    EXPECT_EQ(number, -77);
    EXPECT_EQ(buffer.failed_reads, reads);
  }
}

// Console output that counts its flushes, and console input that notes how
// many there were when it is first read.
class counted_flushes : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return 0;
  }
};

class noting_input : public std::streambuf {
 public:
  noting_input(const std::string& bytes, const counted_flushes& output)
      : bytes_(bytes), output_(output) {}
  int flushes_at_first_read = -1;

 protected:
  int_type underflow() override {
    if (flushes_at_first_read >= 0) return traits_type::eof();
    flushes_at_first_read = output_.flushes;
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    return traits_type::to_int_type(bytes_[0]);
  }

 private:
  std::string bytes_;
  const counted_flushes& output_;
};

// The prompt is on screen while the program waits: each read flushes the
// output tied to console input before it reads.
TEST(AnswerReading, FlushesTiedOutputBeforeReading) {
  for (const char kind : {'t', 'n'}) {
    SCOPED_TRACE(testing::Message() << "read " << kind);
    counted_flushes output;
    std::ostream out(&output);
    noting_input input("12\n", output);
    std::istream in(&input);
    in.tie(&out);
    out << "Prompt: ";
    text_field field{};
    std::int32_t number = 0;
    if (kind == 't') {
      read_text_answer(in, field);
    } else {
      read_number_answer(in, out, "Prompt: ", number);
    }
    EXPECT_GE(input.flushes_at_first_read, 1);
  }
}

TEST(DiscardRestOfLine, DropsThroughLineFeedHoweverLong) {
  const std::string lines[] = {"", "x", ascii(80), ascii(5000)};
  for (const std::string& line : lines) {
    std::istringstream in(line + "\nnext\n");
    discard_rest_of_line(in);
    EXPECT_TRUE(in.good()) << "line: " << line;
    EXPECT_EQ(rest_of(in), "next\n") << "line: " << line;
  }
  std::istringstream unterminated("no line feed");
  discard_rest_of_line(unterminated);
  EXPECT_TRUE(unterminated.eof());
}

// The text that standard input given in `blocks` decodes to, end included.
std::string decoded(const std::vector<std::string>& blocks) {
  input_decoder decoder;
  std::string text;
  std::string all;
  for (std::string block : blocks) {
    const std::span<char> got = decode_input(decoder, block, text);
    all.append(got.data(), got.size());
  }
  const std::span<char> rest = finish_input(decoder, text);
  return all.append(rest.data(), rest.size());
}

// Answers files as Windows tools save them read as the same UTF-8 text,
// however the reads cut them: as the blocks given and one byte at a time.
TEST(InputDecoding, MarksAndUtf16GiveUtf8Text) {
  using namespace std::string_literals;
  const std::string le = "\xFF\xFE", be = "\xFE\xFF", utf8 = "\xEF\xBB\xBF";
  const std::string fffd = "\xEF\xBF\xBD";  // U+FFFD, the replacement
  struct decoding_case {
    std::vector<std::string> blocks;
    std::string text;
  };
  const decoding_case cases[] = {
      {{"hero.TXT\r\nMara\n"}, "hero.TXT\r\nMara\n"},
      {{""}, ""},
      {{"\xC3\xA9\xFF\xFE"}, "\xC3\xA9\xFF\xFE"},  // no mark at the start
      {{"\xFF"}, "\xFF"},
      {{"\xFFx"}, "\xFFx"},
      {{"\xEF\xBB"}, "\xEF\xBB"},  // the start of a mark, then the end
      {{"\xEF\xBB", "z\n"}, "\xEF\xBBz\n"},
      {{utf8 + "hero.TXT\n"}, "hero.TXT\n"},
      {{"\xEF", "\xBB", "\xBF", "x"}, "x"},
      {{utf8 + utf8 + "x"}, utf8 + "x"},  // only the first mark is dropped
      {{utf8}, ""},
      {{le + "h\0\xE9\0\r\0\n\0"s}, "h\xC3\xA9\r\n"},
      {{be + "\0h\0\xE9\0\r\0\n"s}, "h\xC3\xA9\r\n"},
      {{le + "\xAC\x20\xFF\x07\x00\x08\x00\x00"s},
       "\xE2\x82\xAC\xDF\xBF\xE0\xA0\x80"s + '\0'},
      {{le + "\x3D\xD8\x00\xDE"s}, "\xF0\x9F\x98\x80"},  // U+1F600
      {{be + "\xDB\xFF\xDF\xFF"}, "\xF4\x8F\xBF\xBF"},   // U+10FFFF
      {{le + "\x3D\xD8", "\x00\xDE"s}, "\xF0\x9F\x98\x80"},
      {{le + "\x3D", "\xD8\x00"s, "\xDE"}, "\xF0\x9F\x98\x80"},
      // Unpaired surrogates and an odd last byte.
      {{le + "\x3D\xD8" + "A\0"s}, fffd + "A"},
      {{le + "\x3D\xD8\x3D\xD8\x00\xDE"s}, fffd + "\xF0\x9F\x98\x80"},
      {{le + "\x00\xDE"s + "A\0"s}, fffd + "A"},
      {{le + "A\0\x3D\xD8"s}, "A" + fffd},
      {{be + "\0A\0"s}, "A" + fffd},
      {{be + "\xD8\x3D" + "\0"s}, fffd + fffd},
      {{le + le}, "\xEF\xBB\xBF"},  // a second mark is text: U+FEFF
  };
  for (const decoding_case& c : cases) {
    std::string whole;
    std::vector<std::string> bytes;
    for (const std::string& block : c.blocks) {
      whole += block;
      for (const char byte : block) bytes.emplace_back(1, byte);
    }
    EXPECT_EQ(decoded(c.blocks), c.text)
        << "input " << testing::PrintToString(c.blocks);
    EXPECT_EQ(decoded(bytes), c.text)
        << "input " << testing::PrintToString(whole) << " a byte at a time";
  }
}

}  // namespace
