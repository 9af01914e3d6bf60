// The line editor's parts that need no terminal: editing commands over
// grapheme clusters and their keys, the history of Up and Down, where the
// cursor is after a resize, and file-name completion.
#include "terminal/line_editing.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "terminal/file_name_completion_posix.h"
#include "terminal/line_drawing.h"
#include "terminal/line_history.h"

namespace {

// The keys a terminal sends for the commands `edited` names by a letter,
// control keys and escape sequences both.
const std::map<char, std::string> bound_keys = {
    {'L', "\033[D"}, {'R', "\x06"},  {'H', "\x01"},     {'E', "\033OF"},
    {'b', "\033b"},  {'f', "\033f"}, {'B', "\x7f"},     {'D', "\x04"},
    {'U', "\x15"},   {'K', "\x0b"},  {'W', "\033\x7f"}, {'w', "\x17"},
    {'d', "\033d"}};

// Runs `keys` on a line holding `text`, the cursor at its end: one letter a
// key (L R H E left, right, home, end; b f word left, right; B D delete
// before, after; U K kill to start, end; W Alt-Backspace; w Ctrl-W; d Alt-D),
// "+" inserts the next character. Returns the text with "^" at the cursor.
std::string edited(const std::string& text, const std::string& keys,
                   std::size_t most_bytes = 0) {
  edited_line line;
  insert_text(line, text, most_bytes);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == '+') {
      insert_text(line, keys.substr(++i, 1), most_bytes);
    } else {
      apply_command(line, command_of_key(bound_keys.at(keys[i])));
    }
  }
  return line.text.substr(0, line.cursor) + "^" + line.text.substr(line.cursor);
}

TEST(LineEditing, CommandsTakeWholeClusters) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  const std::string flag = "\U0001F1EB\U0001F1F7";
  const std::string thumb = "\U0001F44D\U0001F3FD";
  const struct {
    std::string text, keys, shown;
    std::size_t most_bytes = 0;
  } cases[] = {
      {"Mara", "LLB", "M^ra"},
      {"Mara", "HD", "^ara"},
      {"cafe\u0301", "B", "caf^"},  // the accent goes with its letter
      {"cafe\u0301", "L", "caf^e\u0301"},
      {"A" + family, "B", "A^"},  // not just the last emoji of it
      {"A" + family + "B", "LL", "A^" + family + "B"},
      {"A" + flag + "B", "LLD", "A^B"},
      {"A" + thumb, "B", "A^"},
      {"\u6f22\u5b57", "HR+Z", "\u6f22Z^\u5b57"},
      // Alt-Backspace deletes back to the start of a word, as readline's
      // backward-kill-word; Ctrl-W back to the previous space.
      {"saves/hero.TXT", "W", "saves/hero.^"},
      {"saves/hero.TXT", "WW", "saves/^"},
      {"saves/hero.TXT", "w", "^"},
      {"Fast Shot  ", "W", "Fast ^"},
      {"Fast Shot  ", "w", "Fast ^"},
      {"Big Guns", "HdE", " Guns^"},
      {"Big Guns", "bb", "^Big Guns"},
      {"Big Guns", "Hf", "Big^ Guns"},
      {"Big Guns", "LLLLU", "^Guns"},
      {"Big Guns", "LLLLK", "Big ^"},
      // Held to the bytes kept: whole characters only.
      {"abc", "+d+e", "abcd^", 4},
      {"ab\u00e9", "+x", "ab\u00e9^", 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(edited(c.text, c.keys, c.most_bytes), c.shown)
        << "text \"" << c.text << "\", keys " << c.keys;
  }
  edited_line line;
  EXPECT_FALSE(insert_text(line, "\u00e9\u00e9\u00e9", 5));
  EXPECT_EQ(line.text, "\u00e9\u00e9");
}

// Up shows the lines entered before; Down comes back through them to the
// line being typed, as it was left.
TEST(LineHistory, DownAfterUpBringsBackTheLineBeingTyped) {
  line_history history;
  remember_line(history, "Mara Voss");
  remember_line(history, "Guns");
  remember_line(history, "Guns");  // the same again: once
  remember_line(history, "");
  start_new_line(history);
  const std::string* shown = recall_previous(history, "Fast Sh");
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(*shown, "Guns");
  shown = recall_previous(history, *shown);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(*shown, "Mara Voss");
  EXPECT_EQ(recall_previous(history, *shown), nullptr);
  shown = recall_next(history);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(*shown, "Guns");
  shown = recall_next(history);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(*shown, "Fast Sh");
  EXPECT_EQ(recall_next(history), nullptr);
}

// After a resize the cursor's row depends on whether the terminal rewraps its
// rows (tmux moves the cursor with the text) or not (xterm leaves it on its
// row, at most in its last column); the terminal's reply tells them apart.
TEST(LineDrawing, AResizeFindsTheCursorRowByTheTerminalsReply) {
  const struct {
    int before;
    screen_place cursor;
    int after;
    bool asks;
    int reply;  // -1: none
    std::size_t row;
  } cases[] = {
      {40, {0, 30}, 20, true, 10, 1},   // shrunk, rewrapped
      {40, {0, 30}, 20, true, 19, 0},   // shrunk, kept on its row
      {40, {0, 30}, 20, true, -1, 0},   // no reply: never above the answer
      {20, {1, 5}, 40, true, 25, 0},    // grown, rewrapped
      {20, {1, 5}, 40, true, 5, 1},     // grown, kept
      {40, {0, 10}, 20, false, -1, 0},  // the same row either way
  };
  for (const auto& c : cases) {
    drawn_line drawn;
    drawn.columns = c.before;
    drawn.cursor = c.cursor;
    const std::string where = "cursor " + std::to_string(c.cursor.row) + "," +
                              std::to_string(c.cursor.column) + " at " +
                              std::to_string(c.before) + " columns, then " +
                              std::to_string(c.after) + ", reply " +
                              std::to_string(c.reply);
    EXPECT_EQ(resize_needs_cursor_column(drawn, c.after), c.asks) << where;
    resize_drawn_line(drawn, c.after, c.reply);
    EXPECT_EQ(drawn.cursor.row, c.row) << where;
    EXPECT_EQ(drawn.columns, c.after) << where;
  }
}

class FileNameCompletion : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/cardstow-completion-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = std::string(name) + "/";
  }
  void TearDown() override {
    std::system(("rm -rf '" + folder_ + "'").c_str());
  }
  void make(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      if (name.back() == '/') {
        mkdir((folder_ + name).c_str(), 0700);
      } else {
        std::ofstream(folder_ + name) << "";
      }
    }
  }
  std::string folder_;
};

TEST_F(FileNameCompletion, CompletesWhatALineCanTake) {
  const struct {
    std::vector<std::string> names;
    std::string typed, added;
    std::size_t matches;
    bool refused = false;
  } cases[] = {
      {{"Sir_Reginald_Montgomery_the_Third.TXT"},
       "Sir",
       "_Reginald_Montgomery_the_Third.TXT",
       1},  // never cut
      {{"saves/"}, "sa", "ves/", 1},
      {{"saves/", "saves.TXT"}, "sa", "ves", 2},  // not into the folder
      {{".hidden.TXT", "hero.TXT"}, "", "hero.TXT", 1},
      {{".hidden.TXT", "hero.TXT"}, ".", "hidden.TXT", 1},
      {{"Zo\u00eb.TXT", "Zo\u00e9.TXT"}, "Z", "o", 2},
      {{"Zoe\u0308.TXT", "Zoe\u0301.TXT"}, "Z", "o", 2},  // marks apart
      {{"Zoe\u0308.TXT", "Zoe.TXT"}, "Z", "o", 2},
      {{"c\nline.TXT"}, "c", "", 1, true},
      {{"b\x1b[2Jclear.TXT"}, "b", "", 1, true},
      {{"x\xFFy.TXT"}, "x", "", 1, true},
  };
  for (const auto& c : cases) {
    SetUp();
    make(c.names);
    const file_name_completion completion =
        complete_file_name(folder_ + c.typed);
    EXPECT_EQ(completion.added, c.added)
        << "typed \"" << c.typed << "\", first name \"" << c.names[0] << "\"";
    EXPECT_EQ(completion.matches.size(), c.matches) << c.names[0];
    EXPECT_EQ(completion.refused, c.refused) << c.names[0];
    TearDown();
  }
}

}  // namespace
