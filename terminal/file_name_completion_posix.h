// Completion of a file name typed in part, as shells complete it (POSIX).
#ifndef CARDSTOW_TERMINAL_FILE_NAME_COMPLETION_POSIX_H_
#define CARDSTOW_TERMINAL_FILE_NAME_COMPLETION_POSIX_H_

#include <string>
#include <string_view>
#include <vector>

struct file_name_completion {
  std::string added;                 // what the typed name goes on with
  std::vector<std::string> matches;  // the names it may go on to, sorted
  // What would be added holds a character a line never takes (a control
  // character, a byte that is no UTF-8, U+2028...): `added` is left empty.
  bool refused = false;
};

// Completes `typed`, a path whose last part is the start of a name, from the
// entries of the folder it names (the working folder when it names none).
// One match: `added` completes it, a folder with a trailing "/". Several: the
// rest of their common start, cut after the last grapheme cluster that all
// of them hold whole (so "Zoë" and "Zoé" give "Zo", accents written as
// separate marks included). Names that start with "." match only a part
// that does. No match, or a folder that cannot be read: nothing.
file_name_completion complete_file_name(std::string_view typed);

#endif  // CARDSTOW_TERMINAL_FILE_NAME_COMPLETION_POSIX_H_
