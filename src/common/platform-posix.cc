// The platform on Linux and other POSIX systems: the local clock, and the
// editor and plotter started without a shell.
#include <fcntl.h>
#include <signal.h>
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

void prepare_process() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      // open() takes the lowest free number: this one.
      const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
      if (opened >= 0 && opened != fd) close(opened);
    }
  }
  signal(SIGXFSZ, SIG_IGN);
}

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

  // As system() does: while the child runs, Ctrl-C and Ctrl-\ are the
  // child's (an editor may handle them itself) and do not end this run; the
  // child starts with them as this program had them.
  struct sigaction ignore {}, old_int {}, old_quit {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &old_int);
  sigaction(SIGQUIT, &ignore, &old_quit);
  sigset_t as_before;
  sigemptyset(&as_before);
  if (old_int.sa_handler != SIG_IGN) sigaddset(&as_before, SIGINT);
  if (old_quit.sa_handler != SIG_IGN) sigaddset(&as_before, SIGQUIT);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setsigdefault(&attributes, &as_before);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t pid;
  int32_t result = -1;
  if (posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ) == 0) {
    int wstatus = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &wstatus, 0)) < 0 && errno == EINTR) {
    }
    // A child that could not exec its program exits with 127.
    if (waited == pid && WIFEXITED(wstatus)) result = WEXITSTATUS(wstatus);
  }
  posix_spawnattr_destroy(&attributes);
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
  return result;
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
  argv.push_back(file_argument(file));
  return run_command(argv);
}

}  // namespace morvantide
