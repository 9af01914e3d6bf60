// What the tests expect on POSIX systems (tests/platform.h).
#include <cerrno>

#include "platform.h"

const bool on_windows = false;
const std::string_view file_line_end = "\n";
const int directory_open_error = EISDIR;
