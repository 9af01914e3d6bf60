// What the tests expect on Windows (tests/platform.h).
#include <cerrno>

#include "platform.h"

const bool on_windows = true;
const std::string_view file_line_end = "\r\n";
const int directory_open_error = EACCES;

bool fail_file_call(file_call, int, std::function<void()>) { return false; }

bool limit_file_size(long long) { return false; }
