// The platform on Linux and other POSIX systems: the local clock, and the
// editor and plotter started without a shell.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "common/platform.h"

extern char** environ;

namespace morvantide {

LocalTime SystemPlatform::now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int32_t run_command(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(wstatus)) {
    // A child that could not exec its program exits with 127.
    return WEXITSTATUS(wstatus);
  }
  return -1;
}

namespace {

// The editor: VISUAL, else EDITOR, split on blanks (no shell).
std::vector<std::string> editor_command() {
  const char* value = std::getenv("VISUAL");
  if (!value || !*value) value = std::getenv("EDITOR");
  std::vector<std::string> words;
  if (!value) return words;
  std::istringstream in(value);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

}  // namespace

int32_t SystemPlatform::run(Program program, const std::string& file) {
  std::vector<std::string> argv;
  if (program == Program::kEditor) {
    // A batch run (no terminal) never waits for an editor.
    if (!isatty(STDIN_FILENO)) return -1;
    argv = editor_command();
    if (argv.empty()) return -1;
  } else {
    argv = {"gnuplot"};
  }
  argv.push_back(file);
  return run_command(argv);
}

}  // namespace morvantide
