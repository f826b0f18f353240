// The POSIX program launcher: file names reach the program as one argument
// each and are never read by a shell; exit statuses come back; the editor is
// skipped in batch runs; the plotter is gnuplot from the search path.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/platform.h"

namespace fs = std::filesystem;

namespace morvantide {
namespace {

class Launcher : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("morvantide-launch-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // A program that records each of its arguments on a line of its own and
    // exits with the status given in its first argument when that is a number.
    write_program("record", "#!/bin/sh\n: > \"${0%/*}/args\"\n"
                            "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"${0%/*}/args\"; done\n"
                            "case \"$1\" in [0-9]*) exit \"$1\";; esac\nexit 0\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write_program(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
    fs::permissions(dir_ / name, fs::perms::owner_all);
  }
  std::string recorded() {
    std::ifstream in(dir_ / "args");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string program(const std::string& name) { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(Launcher, FileNamesAreOneArgumentEachAndNeverCommands) {
  struct Case {
    std::string file;
  } cases[] = {{"a&b.txt"}, {"x;touch pwned"}, {"name with  blanks.txt"}, {"$(touch pwned)"},
               {"`touch pwned`"}, {"quote'\"s|pipe>out"}, {"-dash"}, {""}};
  for (const Case& c : cases) {
    const int32_t status = run_command({program("record"), c.file});
    EXPECT_EQ(status, 0) << c.file;
    EXPECT_EQ(recorded(), "[" + c.file + "]\n") << c.file;
  }
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(dir_ / "pwned"));
}

TEST_F(Launcher, ExitStatusOrMinusOne) {
  EXPECT_EQ(run_command({program("record"), "3"}), 3);
  EXPECT_EQ(run_command({program("record"), "0"}), 0);
  EXPECT_EQ(run_command({program("no-such-program"), "f.txt"}), -1);
  EXPECT_EQ(run_command({"morvantide-no-such-program-on-path", "f.txt"}), -1);
  EXPECT_EQ(run_command({}), -1);
}

// A program started in a folder works there, this process staying where it
// is; a folder that cannot be entered starts nothing.  The folder check says
// why a folder cannot be worked in, without entering it.
TEST_F(Launcher, StartedInAFolderAndFoldersChecked) {
  write_program("where", "#!/bin/sh\npwd > \"${0%/*}/args\"\n");
  fs::create_directories(dir_ / "sub");
  std::ofstream(dir_ / "plain") << "x";
  const fs::path here = fs::current_path();
  EXPECT_EQ(run_command({program("where")}, (dir_ / "sub").string()), 0);
  EXPECT_EQ(recorded(), fs::canonical(dir_ / "sub").string() + "\n");
  EXPECT_EQ(fs::current_path(), here);
  EXPECT_EQ(run_command({program("where")}, (dir_ / "missing").string()), -1);
  const struct {
    std::string folder;
    std::string message;  // "" when the folder can be worked in
  } cases[] = {
      {(dir_ / "sub").string(), ""},
      {(dir_ / "missing").string(),
       (dir_ / "missing").string() + ": cannot enter the folder (No such file or directory)"},
      {(dir_ / "plain").string(),
       (dir_ / "plain").string() + ": cannot enter the folder (Not a directory)"},
  };
  for (const auto& c : cases) EXPECT_EQ(check_folder(c.folder).message(), c.message) << c.folder;
  EXPECT_EQ(fs::current_path(), here);
}

TEST_F(Launcher, PlotterIsGnuplotFromTheSearchPath) {
  write_program("gnuplot", "#!/bin/sh\nprintf '[%s]\\n' \"$@\" > \"${0%/*}/args\"\nexit 5\n");
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  setenv("PATH", dir_.c_str(), 1);
  SystemPlatform platform;
  const int32_t status = platform.run(Program::kPlotter, "Morvantide_4p0_pU.gnu");
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(status, 5);
  EXPECT_EQ(recorded(), "[Morvantide_4p0_pU.gnu]\n");
}

// The plotter is looked up on the search path before a process is started
// for it; the lookup must find it wherever posix_spawnp would.
TEST_F(Launcher, PlotterFoundWhereTheSearchPathHasIt) {
  fs::create_directories(dir_ / "bin");
  fs::create_directories(dir_ / "empty");
  fs::create_directories(dir_ / "plain");
  const std::string script = "#!/bin/sh\nprintf '[%s]\\n' \"$@\" > \"" + (dir_ / "args").string() +
                             "\"\nexit 7\n";
  write_program("bin/gnuplot", script);
  std::ofstream(dir_ / "plain" / "gnuplot") << script;  // not executable
  const std::string bin = (dir_ / "bin").string(), empty = (dir_ / "empty").string(),
                    plain = (dir_ / "plain").string();
  struct Case {
    std::string path;
    int32_t status;  // 7: gnuplot ran; -1: not found
  } cases[] = {
      {bin, 7},
      {empty + ":" + bin, 7},
      {plain + ":" + bin, 7},       // a file that cannot run is passed over
      {empty + "::" + plain, 7},    // an empty entry is the current folder
      {empty, -1},
      {plain, -1},
      {empty + ":" + plain + ":" + (dir_ / "missing").string(), -1},
      {"", 7},                      // PATH set but empty: the current folder
  };
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_ / "bin");
  for (const Case& c : cases) {
    fs::remove(dir_ / "args");
    setenv("PATH", c.path.c_str(), 1);
    SystemPlatform platform;
    EXPECT_EQ(platform.run(Program::kPlotter, "s.gnu"), c.status) << c.path;
    EXPECT_EQ(fs::exists(dir_ / "args"), c.status == 7) << c.path;
  }
  fs::current_path(cwd);
  setenv("PATH", saved.c_str(), 1);
}

// A name that starts like an option or a vim command reaches the program as
// a file name.
TEST_F(Launcher, NamesThatLookLikeOptionsAreFileNames) {
  write_program("gnuplot", "#!/bin/sh\nprintf '[%s]\\n' \"$@\" > \"${0%/*}/args\"\n");
  struct Case {
    const char* file;
    const char* expected;
  } cases[] = {
      {"-persist", "[./-persist]\n"},
      {"+call system('touch pwned')|qa!", "[./+call system('touch pwned')|qa!]\n"},
      {"--", "[./--]\n"},
      {"Morvantide_4p0_pU.gnu", "[Morvantide_4p0_pU.gnu]\n"},
      {"/tmp/-x.gnu", "[/tmp/-x.gnu]\n"},
      {"a-b+c", "[a-b+c]\n"},
  };
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  setenv("PATH", dir_.c_str(), 1);
  for (const Case& c : cases) {
    SystemPlatform platform;
    platform.run(Program::kPlotter, c.file);
    EXPECT_EQ(recorded(), c.expected) << c.file;
  }
  setenv("PATH", saved.c_str(), 1);
}

// Ctrl-C or Ctrl-\ typed while the editor runs reach the editor (which may
// handle them itself), not the run; the child starts with them at their
// default, and the run has them back as they were once the child has ended.
// The child here sends both to its parent, a process forked for the check.
TEST_F(Launcher, InterruptsWhileAChildRunsAreTheChilds) {
  write_program("interrupt", "#!/bin/sh\nawk '/^SigIgn/ {print $2}' /proc/$$/status > \"${0%/*}/args\"\n"
                             "kill -INT $PPID\nkill -QUIT $PPID\nexit 4\n");
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    const int32_t status = run_command({program("interrupt")});
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    const bool restored = now.sa_handler == SIG_DFL;
    _exit(status == 4 && restored ? 0 : 1);
  }
  int wstatus = 0;
  ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
  EXPECT_TRUE(WIFEXITED(wstatus)) << "the run ended by signal " << WTERMSIG(wstatus);
  EXPECT_EQ(WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, 0);
  const unsigned long ignored = std::stoul(recorded(), nullptr, 16);
  EXPECT_EQ(ignored & ((1ul << (SIGINT - 1)) | (1ul << (SIGQUIT - 1))), 0ul)
      << "the child starts with SIGINT or SIGQUIT ignored";
}

TEST_F(Launcher, EditorSkippedWithoutATerminal) {
  if (isatty(STDIN_FILENO)) GTEST_SKIP() << "standard input is a terminal";
  const char* old = std::getenv("VISUAL");
  const std::string saved = old ? old : "";
  setenv("VISUAL", (program("record") + " --wait").c_str(), 1);
  SystemPlatform platform;
  EXPECT_EQ(platform.run(Program::kEditor, "lista.txt"), -1);
  if (old) setenv("VISUAL", saved.c_str(), 1); else unsetenv("VISUAL");
  EXPECT_FALSE(fs::exists(dir_ / "args")) << "no editor may start in a batch run";
}

TEST(Clock, LocalTimeIsADate) {
  SystemPlatform platform;
  const LocalTime t = platform.now();
  EXPECT_GE(t.year, 2020);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
  EXPECT_TRUE(t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
              t.second <= 60);
}

}  // namespace
}  // namespace morvantide

namespace morvantide {
namespace {

// A program whose output must go to the terminal (the editor while
// standard output carries a report) gets the terminal or is not started:
// without a controlling terminal it does not run at all.
TEST(RunCommand, OutputToTheTerminalOrNotStarted) {
  struct Case {
    bool output_to_terminal;
    int expected;
  } cases[] = {{false, 0}, {true, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output_to_terminal);
    const pid_t pid = fork();
    if (pid == 0) {
      setsid();  // no controlling terminal
      const int32_t status = run_command({"/bin/true"}, {}, c.output_to_terminal);
      _exit(status == -1 ? 99 : status);
    }
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), c.expected == -1 ? 99 : c.expected);
  }
}

}  // namespace
}  // namespace morvantide
