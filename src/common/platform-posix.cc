// The platform on Linux and other POSIX systems: the local clock, and the
// editor and plotter started without a shell.
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "common/console.h"
#include "common/files.h"
#include "common/files_fd.h"
#include "common/platform.h"
#include "common/text.h"

extern char** environ;

namespace morvantide {

namespace {

bool g_pipe_signal_ignored = false;  // SIGPIPE ignored when the process started

}  // namespace

void prepare_process() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      if (fd == STDOUT_FILENO) mark_standard_output_closed();
      // open() takes the lowest free number: this one.
      const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
      if (opened >= 0 && opened != fd) close(opened);
    }
  }
  signal(SIGXFSZ, SIG_IGN);
  // A closed pipe on standard output is a write error with a message, not
  // a silent end; the programs the run starts get SIGPIPE back.
  g_pipe_signal_ignored = signal(SIGPIPE, SIG_IGN) == SIG_IGN;
  remove_temporaries_on_signals();
}

LocalTime SystemPlatform::now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {

// The environment of the plotter.  In the C (POSIX) locale, gnuplot's "set
// encoding" (the default templates set cp1252, the encoding of the titles)
// warns "iconv failed to convert degree sign": it converts the degree sign
// into the locale's character set, which is ASCII there.  The plotter then
// gets LC_CTYPE=C.UTF-8, which only says how to read bytes: the other
// categories (numbers, dates) stay as they were.  Any other locale is left
// alone.
std::vector<std::string> plotter_environment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  auto value = [](const char* name) {
    const char* v = std::getenv(name);
    return std::string(v ? v : "");
  };
  auto is_c = [](const std::string& v) { return v.empty() || v == "C" || v == "POSIX"; };
  const std::string all = value("LC_ALL");
  const std::string ctype = !all.empty() ? all : !value("LC_CTYPE").empty() ? value("LC_CTYPE")
                                                                            : value("LANG");
  if (!is_c(ctype)) return env;
  auto drop = [&env](const std::string& prefix) {
    std::erase_if(env, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  };
  if (!all.empty()) {
    // LC_ALL=C stood for every category: LANG=C says the same for all but
    // LC_CTYPE, and no other LC_ variable may now take over.
    drop("LC_");
    drop("LANG=");
    env.push_back("LANG=C");
  } else {
    drop("LC_CTYPE=");
  }
  env.push_back("LC_CTYPE=C.UTF-8");
  return env;
}

// False when `program` (a name without a slash) is certainly not on the
// search path: no folder of PATH holds an executable of that name, so a
// spawn could only fail.  Starting a process only to see it fail costs more
// than the rest of a small run; a batch run on a machine without gnuplot
// pays it for every script.  An unset PATH is left to posix_spawnp.
bool may_be_on_path(const std::string& program) {
  if (program.find('/') != std::string::npos) return true;
  const char* path = std::getenv("PATH");
  if (path == nullptr) return true;
  const std::string_view folders(path);
  size_t start = 0;
  while (true) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    std::string candidate(folders.substr(start, end - start));
    if (candidate.empty()) candidate = ".";  // an empty entry is this folder
    candidate += '/';
    candidate += program;
    if (faccessat(AT_FDCWD, candidate.c_str(), X_OK, AT_EACCESS) == 0) return true;
    if (end == folders.size()) return false;
    start = end + 1;
  }
}

}  // namespace

int32_t run_command(const std::vector<std::string>& argv, const std::string& folder) {
  return run_command(argv, {}, false, folder);
}

int32_t run_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    bool output_to_terminal, const std::string& folder) {
  if (argv.empty() || argv[0].empty() || !may_be_on_path(argv[0])) return -1;
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
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
  if (!g_pipe_signal_ignored) sigaddset(&as_before, SIGPIPE);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setsigdefault(&attributes, &as_before);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Failing to open the terminal makes the start fail: the program is not
  // started rather than writing where it should not.
  if (output_to_terminal) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/tty", O_WRONLY, 0);
  }
  // A folder that cannot be entered makes the start fail as well.
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

  pid_t pid;
  int32_t result = -1;
  if (posix_spawnp(&pid, args[0], &actions, &attributes, args.data(),
                   env.empty() ? environ : envp.data()) == 0) {
    int wstatus = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &wstatus, 0)) < 0 && errno == EINTR) {
    }
    // A child that could not exec its program exits with 127.
    if (waited == pid && WIFEXITED(wstatus)) result = WEXITSTATUS(wstatus);
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
  return result;
}

namespace {

// The editor: VISUAL, else EDITOR, split on blanks (no shell).
std::vector<std::string> editor_command() {
  const char* value = std::getenv("VISUAL");
  if (!value || !*value) value = std::getenv("EDITOR");
  if (!value) return {};
  return split_words(value);
}

}  // namespace

int32_t SystemPlatform::run_in(const std::string& folder, Program program,
                               const std::string& file) {
  std::vector<std::string> argv;
  if (program == Program::kEditor) {
    // A batch run (no terminal) never waits for an editor.
    if (!isatty(STDIN_FILENO)) return -1;
    argv = editor_command();
    if (argv.empty()) return -1;
  } else {
    // Looked up before its environment is put together: on a machine
    // without gnuplot that is all the plotting costs.
    if (!may_be_on_path("gnuplot")) return -1;
    argv = {"gnuplot"};
  }
  argv.push_back(file_argument(file));
  // The editor's screen goes to the terminal, never into a file or a pipe
  // that standard output carries (a report written with "-").
  const bool editor_off_output = program == Program::kEditor && !isatty(STDOUT_FILENO);
  return run_command(argv,
                     program == Program::kPlotter ? plotter_environment()
                                                  : std::vector<std::string>(),
                     editor_off_output, folder);
}

const std::string_view kConsoleLineEnd = "\n";

void set_standard_output_binary() {}

bool is_absolute_path(const std::string& name) { return !name.empty() && name[0] == '/'; }

std::string current_folder() {
  std::string buffer(4096, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (size_t{1} << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

Status check_folder(const std::string& folder) {
  struct stat st;
  int err = 0;
  if (::stat(folder.c_str(), &st) != 0) {
    err = errno;
  } else if (!S_ISDIR(st.st_mode)) {
    err = ENOTDIR;
  } else if (faccessat(AT_FDCWD, folder.c_str(), X_OK, AT_EACCESS) != 0) {
    err = errno;
  }
  if (err != 0) {
    return Status::Error(printable(folder) + ": cannot enter the folder (" + std::strerror(err) +
                         ")");
  }
  return Status::Ok();
}

namespace {

// The prefixes of `folder` that name its parents and itself, outermost
// first: "a/b/c" -> "a", "a/b", "a/b/c".
std::vector<std::string> folder_prefixes(const std::string& folder) {
  std::vector<std::string> out;
  for (size_t k = 1; k <= folder.size(); ++k) {
    const bool end = k == folder.size();
    if (end || folder[k] == '/') {
      const std::string prefix = folder.substr(0, k);
      if (!prefix.empty() && prefix.back() != '/' && prefix.back() != ':') {
        out.push_back(prefix);
      }
    }
  }
  return out;
}
}  // namespace

Status make_folders(const std::string& folder, std::vector<std::string>* made) {
  for (const std::string& prefix : folder_prefixes(folder)) {
    struct stat st;
    if (stat(prefix.c_str(), &st) == 0) continue;
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      return Status::Error(printable(folder) + ": cannot make the folder (" +
                           std::strerror(errno) + ")");
    }
    made->push_back(prefix);
  }
  return Status::Ok();
}

void remove_empty_folder(const std::string& folder) { rmdir(folder.c_str()); }

bool standard_error_is_terminal() { return isatty(STDERR_FILENO) != 0; }

Status read_standard_input(std::string* content) {
  content->clear();
  char block[65536];
  while (true) {
    const ssize_t n = read(STDIN_FILENO, block, sizeof block);
    if (n > 0) {
      content->append(block, static_cast<size_t>(n));
    } else if (n == 0) {
      return Status::Ok();
    } else if (errno != EINTR) {
      return Status::Error(std::string("standard input: cannot read (") + std::strerror(errno) +
                           ")");
    }
  }
}

std::unique_ptr<InputFile> open_standard_input() {
  // A descriptor of its own, which the reader closes; standard input stays.
  const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  return std::make_unique<FdInputFile>("standard input", fd);
}

namespace {

locale_t c_locale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

}  // namespace

CLocaleScope::CLocaleScope() {
  if (c_locale() != static_cast<locale_t>(nullptr)) previous_ = uselocale(c_locale());
}

CLocaleScope::~CLocaleScope() {
  if (previous_ != nullptr) uselocale(static_cast<locale_t>(previous_));
}

}  // namespace morvantide
