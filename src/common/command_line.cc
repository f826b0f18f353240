#include "common/command_line.h"

namespace morvantide {

std::string quote_argument(const std::string& arg) {
  std::string out = "\"";
  size_t i = 0;
  while (true) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == '\\') {
      ++backslashes;
      ++i;
    }
    if (i == arg.size()) {
      // Before the closing quote: each backslash doubled.
      out.append(2 * backslashes, '\\');
      break;
    }
    if (arg[i] == '"') {
      out.append(2 * backslashes + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    out += arg[i];
    ++i;
  }
  out += '"';
  return out;
}

bool windows_command_line(const std::vector<std::string>& argv, std::string* line) {
  if (argv.empty() || argv[0].empty()) return false;
  for (const std::string& a : argv) {
    if (a.find('\0') != std::string::npos) return false;
  }
  // The program name is read up to the next quote when it begins with one,
  // else up to the first blank or tab; it has no escapes.
  const std::string& program = argv[0];
  if (program.find('"') != std::string::npos) return false;
  std::string out = program.find_first_of(" \t") == std::string::npos ? program
                                                                      : "\"" + program + "\"";
  for (size_t k = 1; k < argv.size(); ++k) {
    out += ' ';
    out += quote_argument(argv[k]);
  }
  *line = std::move(out);
  return true;
}

}  // namespace morvantide
