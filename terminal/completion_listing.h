// How the line editor lists the names a Tab could complete: in columns, as
// ls and shells lay them out.
#ifndef CARDSTOW_TERMINAL_COMPLETION_LISTING_H_
#define CARDSTOW_TERMINAL_COMPLETION_LISTING_H_

#include <string>
#include <vector>

// Above this many names the editor asks before it lists them, as bash does.
inline constexpr std::size_t most_names_listed_unasked = 100;

// `names`, each escaped as messages show names (app/shown_name.h), down then
// across in as many columns as fit `columns`, each as wide as the widest
// name and two spaces, every row ended by "\n".
std::string in_columns(const std::vector<std::string>& names, int columns);

#endif  // CARDSTOW_TERMINAL_COMPLETION_LISTING_H_
