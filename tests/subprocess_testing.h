// Runs a program as a child process for the whole-program tests: in a
// chosen folder, with a chosen environment and standard input, optionally as
// another user, killed when it hangs; its exit status and what it wrote to
// standard output and standard error come back.
#ifndef MORVANTIDE_TESTS_SUBPROCESS_TESTING_H_
#define MORVANTIDE_TESTS_SUBPROCESS_TESTING_H_

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace morvantide::testing_process {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Command {
  std::vector<std::string> argv;   // argv[0] is the program's path
  fs::path dir;                    // working folder
  std::vector<std::string> env;    // the whole environment, NAME=VALUE
  std::string stdin_path = "/dev/null";
  int uid = -1;                    // run as this user and group (-1: as we are)
  unsigned timeout_seconds = 60;   // a hung run is killed
  fs::path capture_dir;            // where stdout and stderr are kept (default: dir's parent)
  fs::path stdout_path;            // a file for standard output instead of the kept one
  long file_size_limit = -1;       // ulimit -f, in 512-byte blocks (-1: none)
  std::vector<int> closed;         // descriptors (0, 1, 2) closed in the program
  bool stdout_kept = false;        // stdout_path opened without emptying it
  bool stdout_to_closed_pipe = false;  // standard output a pipe nobody reads
  long process_limit = -1;         // ulimit -u (-1: none)
};

struct Outcome {
  int exit_status = -1;  // -1: did not exit normally
  int signal = 0;        // the signal that ended it, if any
  std::string out, err;
};

inline Outcome run_process(const Command& c) {
  const fs::path keep = c.capture_dir.empty() ? c.dir.parent_path() : c.capture_dir;
  const std::string stem = c.dir.filename().string();
  const fs::path out = c.stdout_path.empty() ? keep / (stem + ".stdout") : c.stdout_path;
  const fs::path err = keep / (stem + ".stderr");
  std::vector<std::string> arg_texts = c.argv, env_texts = c.env;
  std::vector<char*> argv, envp;
  for (std::string& a : arg_texts) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env_texts) envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(c.stdin_path.c_str(), O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | (c.stdout_kept ? 0 : O_TRUNC), 0644);
    if (c.stdout_to_closed_pipe) {
      int ends[2];
      if (pipe(ends) != 0) _exit(125);
      close(ends[0]);
      o = ends[1];
    }
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(120);
    if (chdir(c.dir.c_str()) != 0) _exit(121);
    if (c.uid >= 0 && (setgid(c.uid) != 0 || setuid(c.uid) != 0)) _exit(122);
    if (c.file_size_limit >= 0) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(c.file_size_limit) * 512;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(124);
    }
    if (c.process_limit >= 0) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(c.process_limit);
      if (setrlimit(RLIMIT_NPROC, &limit) != 0) _exit(126);
    }
    for (int fd = 3; fd < 1024; ++fd) close(fd);  // nothing of the tests leaks in
    for (int fd : c.closed) close(fd);
    alarm(c.timeout_seconds);
    execve(argv[0], argv.data(), envp.data());
    _exit(123);
  }
  Outcome r;
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid) {
    if (WIFEXITED(wstatus)) r.exit_status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
  }
  r.out = c.stdout_path.empty() ? read_file(out) : "";
  r.err = read_file(err);
  return r;
}

// True when this process may become the user `uid` (root, or that user).
inline bool can_become(int uid) {
  const pid_t pid = fork();
  if (pid == 0) _exit(setgid(uid) == 0 && setuid(uid) == 0 ? 0 : 1);
  int wstatus = 0;
  return pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus) &&
         WEXITSTATUS(wstatus) == 0;
}

}  // namespace morvantide::testing_process

#endif  // MORVANTIDE_TESTS_SUBPROCESS_TESTING_H_
