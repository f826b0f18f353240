// The command line of the real program (MORVANTIDE_BINARY).  Every row runs
// in a fresh copy of the bundled example that has already been run once, so
// that the folder holds a sound case and every output file.  A stray argument
// must be refused with exit status 2, nothing on standard output, one line
// on standard error, and no run: every file of the folder keeps its
// content and its modification time, and no file appears.  --help and
// --version print their text, exit 0 and leave the folder alone as well.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "subprocess_testing.h"

namespace {

namespace fs = std::filesystem;
using morvantide::testing_process::Command;
using morvantide::testing_process::Outcome;
using morvantide::testing_process::read_file;
using morvantide::testing_process::run_process;

// Runs the program with `args` in `dir`: standard input from /dev/null (so no
// editor is started) and an environment whose PATH is an empty folder (so no
// plotter either).  Standard output and error are kept beside `dir`.
Outcome run_program(const fs::path& dir, const fs::path& empty,
                    const std::vector<std::string>& args) {
  Command c;
  c.argv = {MORVANTIDE_BINARY};
  c.argv.insert(c.argv.end(), args.begin(), args.end());
  c.dir = dir;
  c.env = {"PATH=" + empty.string(), "TZ=UTC", "LC_ALL=C"};
  c.timeout_seconds = 30;
  return run_process(c);
}

// Every file of `dir` with its content and modification time.
std::map<std::string, std::pair<std::string, fs::file_time_type>> snapshot(const fs::path& dir) {
  std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
    files[fs::relative(e.path(), dir).string()] = {read_file(e.path()), e.last_write_time()};
  }
  return files;
}

bool has_line_starting(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

std::string shown(const std::vector<std::string>& args) {
  std::string s;
  for (const std::string& a : args) s += (s.empty() ? "[" : " [") + a + "]";
  return s.empty() ? "(no arguments)" : s;
}

class CommandLine : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("morvantide-main-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "nothing");
  }
  void TearDown() override { fs::remove_all(root_); }

  // A fresh copy of the bundled example, run once with no arguments: the run
  // must succeed and write its listing, so that the folder is known to be a
  // case that runs and every output file is there to be rewritten.
  fs::path example_after_a_run(int row) {
    const fs::path dir = root_ / ("case" + std::to_string(row));
    fs::create_directories(dir);
    fs::copy(fs::path(MORVANTIDE_SOURCE_DIR) / "examples" / "channel", dir);
    Outcome first = run_program(dir, root_ / "nothing", {});
    EXPECT_EQ(first.exit_status, 0) << first.err;
    EXPECT_TRUE(fs::exists(dir / "listagem.txt")) << "the example did not run";
    EXPECT_TRUE(fs::exists(dir / "U_15.dat")) << "the example did not run";
    return dir;
  }

  fs::path root_;
};

TEST_F(CommandLine, StrayArgumentIsRefusedBeforeAnyWork) {
  struct Case {
    std::vector<std::string> args;
    std::string named;  // the argument the message must quote ("": not checked)
  } cases[] = {
      {{"--bogus"}, "--bogus"},
      {{"-x"}, "-x"},
      {{"stray", "more"}, "stray"},
      {{"extra", "-"}, "extra"},
      {{""}, ""},              // an empty argument is an argument too
      {{"--bogus=1"}, ""},
      {{"--HELP"}, "--HELP"},  // options are not case-blind
      {{"--help=x"}, ""},      // --help takes no value
      {{"--help", "extra"}, ""},
      {{"--version", "stray"}, ""},
      {{"--bogus", "--help"}, ""},
  };
  int row = 0;
  for (const Case& c : cases) {
    const fs::path dir = example_after_a_run(++row);
    const auto before = snapshot(dir);
    Outcome r = run_program(dir, root_ / "nothing", c.args);
    const std::string label = shown(c.args);
    EXPECT_EQ(r.exit_status, 2) << label;
    EXPECT_EQ(r.out, "") << label;
    // One line naming the fault and pointing at --help (the options' own
    // messages are checked in options_test.cc).
    EXPECT_TRUE(has_line_starting(r.err, "morvantide: ")) << label << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << label << "\n" << r.err;
    if (!c.named.empty()) {
      EXPECT_NE(r.err.find(c.named), std::string::npos) << label << "\n" << r.err;
    }
    EXPECT_TRUE(snapshot(dir) == before) << label << ": the folder changed";
  }
}

TEST_F(CommandLine, HelpAndVersionPrintTheirTextAndRunNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string first_line;  // the start of standard output's first line
  } cases[] = {
      {{"--help"}, "usage: morvantide"},
      {{"--version"}, "morvantide 4.0"},
  };
  int row = 100;
  for (const Case& c : cases) {
    const fs::path dir = example_after_a_run(++row);
    const auto before = snapshot(dir);
    Outcome r = run_program(dir, root_ / "nothing", c.args);
    const std::string label = shown(c.args);
    EXPECT_EQ(r.exit_status, 0) << label;
    EXPECT_EQ(r.out.rfind(c.first_line, 0), 0u) << label << "\n" << r.out;
    EXPECT_TRUE(!r.out.empty() && r.out.back() == '\n') << label;
    EXPECT_EQ(r.err, "") << label;
    EXPECT_TRUE(snapshot(dir) == before) << label << ": the folder changed";
  }
}

}  // namespace
