// What the tests expect on Windows (tests/platform.h).
#include <cerrno>

#include "platform.h"

const bool on_windows = true;
const std::string_view file_line_end = "\r\n";
const int directory_open_error = EACCES;
