// Opening a file by its UTF-8 name: the platform's side of the record file.
// Each platform has its own implementation, chosen by the build.
#ifndef CARDSTOW_RECORD_FILE_SYSTEM_H_
#define CARDSTOW_RECORD_FILE_SYSTEM_H_

#include <fstream>
#include <ios>
#include <string_view>

// Opens `stream` on the file named `name`, UTF-8 as typed, with `mode`.
// Returns 0 when the stream is open, otherwise the system's errno (EIO when
// the system gave none) and the stream stays closed.
int open_named_file(std::ofstream& stream, const char* name,
                    std::ios::openmode mode);

// True when `name` names the very file that standard input reads, such as the
// answers file of `cardstow < hero.TXT`. A device (a terminal, /dev/null) is
// never taken for it; a name that names nothing yet is not it.
bool is_standard_input(const char* name);

// Why this platform would not open the file `name` (UTF-8) names as typed,
// or nullptr when nothing stands against it: a short reason that follows the
// quoted name in a message ("names a device on Windows"). On Windows: a name
// in the device namespace (\\.\ or \\?\ with either slash, or \??\; UNC
// names of shares such as \\server\share\hero.TXT are allowed); a last path
// component whose part before its first dot is a device name (CON, PRN, AUX,
// NUL, COM1-COM9, LPT1-LPT9, any case) or that is . or ..; any component but
// . and .. that ends in a dot or a space (Windows drops them); a colon other
// than that of a drive such as C:\ (so the drive-relative C:hero.TXT too);
// the characters < > " | ? * and control characters. A device name as a
// folder (nul\hero.TXT) is allowed: Windows takes only a last component for
// a device. On POSIX, nothing.
const char* name_refusal(std::string_view name);

#endif  // CARDSTOW_RECORD_FILE_SYSTEM_H_
