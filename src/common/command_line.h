// The Windows command line that carries a list of arguments to a program
// started without a command interpreter.  Plain text work, built on every
// system so that it is tested everywhere; used by platform-win32.cc.
#ifndef MORVANTIDE_COMMON_COMMAND_LINE_H_
#define MORVANTIDE_COMMON_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace morvantide {

// One argument in double quotes, so that the C run-time and
// CommandLineToArgvW give it back unchanged as one argument: a quote inside
// is preceded by a backslash, and the backslashes that stand before a quote
// (an inner one or the closing one) are doubled.  Other backslashes stay
// as they are.
//   a b      -> "a b"
//   a"b      -> "a\"b"
//   C:\dir\  -> "C:\dir\\"
std::string quote_argument(const std::string& arg);

// argv[0] (the program, bare, or in quotes when it holds a blank or a tab)
// followed by each argument quoted, separated by one blank.  False, with
// *line untouched, when argv cannot be written as a command line: no
// program, a program name holding a quote, or a NUL byte anywhere.
bool windows_command_line(const std::vector<std::string>& argv, std::string* line);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_COMMAND_LINE_H_
