/* Plain C baseline for the cardstow benchmark: the same dialogue, the same
   reads and the same line-by-line flushed writes, done with bare stdio, and
   the durable end of a replaced record: the record written to a new file
   beside its name, synced, renamed over the name, and the folder synced. */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

enum {
  answer_capacity = 30, /* 29 bytes and the terminator */
  max_text = answer_capacity - 1,
  utf8_lookahead = 3,
  console_in_size = 8191, /* as large as cardstow's console input reads */
  discard_chunk = 4096
};

static const char invalid_number_message[] =
    "Please enter a whole number from -2147483648 to 2147483647.";

static char console_in_buffer[console_in_size];
static char console_out_buffer[BUFSIZ];
static char record_buffer[BUFSIZ];

/* Set once console input has ended; every later read returns at once. */
static int input_ended;

enum text_read { text_ended, text_whole, text_cut };

struct character_record {
  char name[answer_capacity];
  int32_t level, strength, perception, endurance, charisma, intelligence,
      agility, luck;
  char first_trait[answer_capacity], second_trait[answer_capacity];
  char first_tag[answer_capacity], second_tag[answer_capacity],
      third_tag[answer_capacity];
  int32_t perk_count;
  char current_perk[answer_capacity];
};

/* One complete console line, flushed. */
static void console_line(const char *text) {
  fputs(text, stdout);
  putc_unlocked('\n', stdout);
  fflush(stdout);
}

/* Ends a record line and flushes it. */
static void end_record_line(FILE *file) {
  putc_unlocked('\n', file);
  fflush(file);
}

/* Drops the rest of the current line, line feed included, in chunks. */
static void discard_rest_of_line(void) {
  char chunk[discard_chunk];
  if (input_ended) return;
  for (;;) {
    chunk[discard_chunk - 1] = 'x';
    if (fgets(chunk, discard_chunk, stdin) == NULL) {
      input_ended = 1;
      return;
    }
    if (chunk[discard_chunk - 1] != '\0') break; /* stopped before full */
    if (chunk[discard_chunk - 2] == '\n') return;
  }
  if (feof(stdin)) input_ended = 1;
}

static int is_continuation(char byte) {
  return ((unsigned char)byte & 0xC0u) == 0x80u;
}

static size_t utf8_length(char byte) {
  const unsigned char b = (unsigned char)byte;
  if ((b & 0xE0u) == 0xC0u) return 2;
  if ((b & 0xF0u) == 0xE0u) return 3;
  if ((b & 0xF8u) == 0xF0u) return 4;
  return 1;
}

/* Where a line longer than 29 bytes is cut: never inside a character that
   the line holds whole. */
static size_t cut_point(const char *bytes, size_t available) {
  size_t lead = max_text - 1;
  size_t end;
  size_t i;
  while (lead > max_text - 4 && is_continuation(bytes[lead])) --lead;
  end = lead + utf8_length(bytes[lead]);
  if (end <= max_text || end > available) return max_text;
  for (i = lead + 1; i < end; ++i) {
    if (!is_continuation(bytes[i])) return max_text;
  }
  return lead;
}

static enum text_read read_text_answer(char *field) {
  char head[max_text + utf8_lookahead];
  size_t taken = 0;
  size_t kept;
  int c = 0;
  field[0] = '\0';
  if (input_ended) return text_ended;
  fflush(stdout);
  while (taken < sizeof head && (c = getc_unlocked(stdin)) != EOF &&
         c != '\n') {
    head[taken++] = (char)c;
  }
  if (taken == sizeof head) {
    discard_rest_of_line();
  } else if (c == EOF) {
    input_ended = 1;
    if (taken == 0) return text_ended;
  }
  kept = taken > max_text ? cut_point(head, taken) : taken;
  memcpy(field, head, kept);
  field[kept] = '\0';
  return taken > max_text ? text_cut : text_whole;
}

static int is_white_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

/* Takes a sign and digits starting at `c`; leaves the next character unread.
   Returns 1 with the value in `value` when it is a 32-bit number. */
static int take_number(int c, int32_t *value) {
  const int negative = c == '-';
  const int64_t limit = negative ? -(int64_t)INT32_MIN : (int64_t)INT32_MAX;
  int64_t magnitude = 0;
  int has_digit = 0;
  if (c == '-' || c == '+') c = getc_unlocked(stdin);
  for (; c >= '0' && c <= '9'; c = getc_unlocked(stdin)) {
    has_digit = 1;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) magnitude = limit + 1;
  }
  if (c == EOF) {
    input_ended = 1;
  } else {
    ungetc(c, stdin);
  }
  if (!has_digit || magnitude > limit) return 0;
  *value = (int32_t)(negative ? -magnitude : magnitude);
  return 1;
}

static void read_number_answer(const char *prompt, int32_t *target) {
  while (!input_ended) {
    int c;
    fflush(stdout);
    c = getc_unlocked(stdin);
    while (is_white_space(c)) c = getc_unlocked(stdin);
    if (c == EOF) {
      input_ended = 1;
      return;
    }
    if (take_number(c, target)) return;
    console_line(invalid_number_message);
    discard_rest_of_line();
    if (!input_ended) fputs(prompt, stdout);
  }
}

static void ask_text(const char *prompt, char *field) {
  fputs(prompt, stdout);
  read_text_answer(field);
}

static void ask_number(const char *prompt, int32_t *field) {
  fputs(prompt, stdout);
  read_number_answer(prompt, field);
}

static void ask_questionnaire(struct character_record *r) {
  ask_text("Character Name: ", r->name);
  ask_number("Level: ", &r->level);
  ask_number("Strength: ", &r->strength);
  ask_number("Perception: ", &r->perception);
  ask_number("Endurance: ", &r->endurance);
  ask_number("Charisma: ", &r->charisma);
  ask_number("Intelligence: ", &r->intelligence);
  ask_number("Agility: ", &r->agility);
  ask_number("Luck: ", &r->luck);
  discard_rest_of_line();
  ask_text("First Trait: ", r->first_trait);
  ask_text("Second Trait: ", r->second_trait);
  ask_text("First Tag: ", r->first_tag);
  ask_text("Second Tag: ", r->second_tag);
  ask_text("Third Tag: ", r->third_tag);
  ask_number("How many Perks do you need to enter: ", &r->perk_count);
  discard_rest_of_line();
}

static void write_attribute_pair(FILE *f, const char *left, int32_t a,
                                 const char *right, int32_t b) {
  fprintf(f, "%s: %ld      %s: %ld", left, (long)a, right, (long)b);
  end_record_line(f);
}

static void write_text_line(FILE *f, const char *label, const char *text) {
  fputs(label, f);
  fputs(text, f);
  end_record_line(f);
}

static void write_record_sheet(FILE *f, const struct character_record *r) {
  write_text_line(f, "Ironvale Scout Corps Personal Record", "");
  end_record_line(f);
  write_text_line(f, "Name: ", r->name);
  fprintf(f, "Level: %ld", (long)r->level);
  end_record_line(f);
  end_record_line(f);
  write_attribute_pair(f, "ST", r->strength, "IN", r->intelligence);
  write_attribute_pair(f, "PE", r->perception, "AG", r->agility);
  write_attribute_pair(f, "EN", r->endurance, "LK", r->luck);
  fprintf(f, "CH: %ld", (long)r->charisma);
  end_record_line(f);
  end_record_line(f);
  write_text_line(f, "Traits: ", r->first_trait);
  write_text_line(f, "        ", r->second_trait);
  end_record_line(f);
  write_text_line(f, "Tags:   ", r->first_tag);
  write_text_line(f, "        ", r->second_tag);
  write_text_line(f, "        ", r->third_tag);
  end_record_line(f);
  write_text_line(f, "Perks:", "");
}

static void ask_perks(FILE *f, struct character_record *r) {
  int32_t asked;
  for (asked = 0; asked < r->perk_count && !input_ended; ++asked) {
    fputs("Enter perk: ", stdout);
    if (read_text_answer(r->current_perk) == text_ended) break;
    write_text_line(f, "", r->current_perk);
  }
}

static void show_title_screen(void) {
  static const char *const lines[] = {
      "        /************************************************************\\",
      "        *                                                            *",
      "        *                Cardstow Roster Sheet Keeper                *",
      "        *             Written by the cardstow developers             *",
      "        *                                              Verson 1.0    *",
      "        *                                                            *",
      "        \\************************************************************/",
      "",
      ""};
  size_t i;
  for (i = 0; i < sizeof lines / sizeof lines[0]; ++i) console_line(lines[i]);
}

static int give_up(const char *problem) {
  fprintf(stderr, "cardstow: %s\n", problem);
  console_line("Thanks for using CARDSTOW.");
  return 1;
}

/* Writes the folder holding `file_name` into `folder` (answer_capacity
   bytes). */
static void folder_of(const char *file_name, char *folder) {
  const char *slash = strrchr(file_name, '/');
  if (slash == NULL) {
    strcpy(folder, ".");
  } else {
    const size_t length = slash == file_name ? 1 : (size_t)(slash - file_name);
    memcpy(folder, file_name, length);
    folder[length] = '\0';
  }
}

/* Syncs the folder holding `file_name`; 0 when done. */
static int sync_folder(const char *file_name) {
  char folder[answer_capacity];
  int fd;
  int failed;
  folder_of(file_name, folder);
  fd = open(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return 0;
  failed = fsync(fd) != 0;
  close(fd);
  return failed;
}

/* The new file beside `file_name`: ".NAME.cardstow-new" in its folder. */
static void new_file_name(const char *file_name, char *new_name) {
  const char *slash = strrchr(file_name, '/');
  const size_t folder = slash == NULL ? 0 : (size_t)(slash - file_name) + 1;
  snprintf(new_name, PATH_MAX, "%.*s.%s.cardstow-new", (int)folder, file_name,
           file_name + folder);
}

static int fill_in_record(const char *file_name) {
  static struct character_record record;
  static char new_name[PATH_MAX];
  FILE *f;
  int failed;
  new_file_name(file_name, new_name);
  f = fopen(new_name, "wx");
  if (f == NULL) return give_up(strerror(errno));
  setvbuf(f, record_buffer, _IOFBF, sizeof record_buffer);
  ask_questionnaire(&record);
  write_record_sheet(f, &record);
  ask_perks(f, &record);
  failed =
      fflush(f) != 0 || ferror(f) || (fsync(fileno(f)) != 0 && errno != EINVAL);
  if (fclose(f) != 0 || failed || rename(new_name, file_name) != 0 ||
      sync_folder(file_name) != 0) {
    remove(new_name);
    return give_up("cannot write the record");
  }
  console_line("");
  fputs("All this information has been stored in ", stdout);
  console_line(file_name);
  console_line("Thanks for using CARDSTOW.");
  return 0;
}

int main(void) {
  char file_name[answer_capacity];
  setvbuf(stdin, console_in_buffer, _IOFBF, sizeof console_in_buffer);
  setvbuf(stdout, console_out_buffer, _IOFBF, sizeof console_out_buffer);
  show_title_screen();
  fputs("Enter a file name followed by .TXT: ", stdout);
  if (read_text_answer(file_name) == text_cut) {
    return give_up("file name longer than 29 bytes");
  }
  if (file_name[0] == '\0') return give_up("no file name given");
  return fill_in_record(file_name);
}
