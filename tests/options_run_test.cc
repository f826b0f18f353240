// The program with options, as a user runs it: a bad command line is one
// line on standard error and status 2 with nothing read or written; --help,
// --version; the report on standard output; a report that cannot be written
// is a failure.
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "subprocess_testing.h"

namespace morvantide {
namespace {

namespace fs = std::filesystem;
using testing_process::read_file;

struct Scratch {
  fs::path root;
  Scratch() {
    char name[] = "/tmp/morvantide_opt_XXXXXX";
    root = mkdtemp(name);
    fs::copy(MORVANTIDE_SOURCE_DIR "/examples/channel", root / "case");
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path dir() const { return root / "case"; }
};

std::map<std::string, std::string> contents(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out[e.path().filename()] = read_file(e.path());
  return out;
}

testing_process::Outcome run_args(const Scratch& s, std::vector<std::string> args) {
  testing_process::Command c;
  c.argv = {MORVANTIDE_BINARY};
  c.argv.insert(c.argv.end(), args.begin(), args.end());
  c.dir = s.dir();
  fs::create_directories(s.root / "nothing");
  c.env = {"PATH=" + (s.root / "nothing").string(), "TZ=UTC", "LC_ALL=C"};
  c.timeout_seconds = 30;
  return testing_process::run_process(c);
}

TEST(ProgramOptions, BadCommandLineTouchesNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"extra", "more"}, "morvantide: one data file at a time: \"extra\" and \"more\"\n"},
      {{"--jsn=out"}, "morvantide: unknown option \"--jsn\" (see morvantide --help)\n"},
      {{"--json"}, "morvantide: --json needs a value (FILE)\n"},
      {{"--summary", "--target", "-5%"},
       "morvantide: bad value for --target: \"-5%\" (a positive number, or a percentage such as "
       "0.1%)\n"},
      {{"--csv", "x.csv", "--variables", "2-1"},
       "morvantide: bad value for --variables: \"2-1\" (numbers from 1 to 100000 and ranges such "
       "as 1,3-5, or all)\n"},
      {{"--no-plot=1"}, "morvantide: --no-plot takes no value\n"},
      // Even with --help, a bad option is refused.
      {{"--help", "--bogus"}, "morvantide: unknown option \"--bogus\" (see morvantide --help)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    Scratch s;
    const auto before = contents(s.dir());
    const auto r = run_args(s, c.args);
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(contents(s.dir()), before);
  }
}

// --output-dir makes a missing folder and its parents, and takes them back
// when the run then fails; "--" lets a data file's name start with '-'.
// The report files are named from the current folder, not from DIR.
TEST(ProgramOptions, OutputDirIsMadeAndTakenBack) {
  struct Case {
    std::vector<std::string> args;
    int status;
    bool folder_left;
    std::vector<std::string> present = {}, absent = {};
  } cases[] = {
      {{"--no-plot", "--output-dir", "new/sub", "--", "-d.csv"}, 0, true},
      {{"--no-plot", "--output-dir", "new/sub", "--json", "new/sub/p0.dat", "--", "-d.csv"}, 2,
       false},
      {{"--no-plot", "--output-dir", "new/sub", "--json", "r.json", "--csv", "r.csv", "--",
        "-d.csv"},
       0,
       true,
       {"r.json", "r.csv"},
       {"new/sub/r.json", "new/sub/r.csv"}},
      {{"--no-plot", "--output-dir", "new", "--json=new/r.json", "--csv", "../r.csv", "--",
        "-d.csv"},
       0,
       true,
       {"new/r.json", "../r.csv"},
       {"new/new/r.json", "r.csv"}},
      // Without it, no classic file.
      {{"--json", "r.json", "--", "-d.csv"}, 0, false, {"r.json"}, {"listagem.txt", "p0.dat"}},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    Scratch s;
    std::ofstream(s.dir() / "-d.csv") << "h,u\n0.4,1.16\n0.2,1.04\n0.1,1.01\n";
    const auto r = run_args(s, c.args);
    EXPECT_EQ(r.exit_status, c.status) << r.err;
    EXPECT_EQ(fs::exists(s.dir() / "new"), c.folder_left);
    EXPECT_EQ(fs::exists(s.dir() / c.args[2] / "listagem.txt"), c.folder_left);
    for (const std::string& name : c.present) EXPECT_TRUE(fs::exists(s.dir() / name)) << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(fs::exists(s.dir() / name)) << name;
  }
}

// With --output-dir the plotter starts in the folder, on the scripts' own
// names, while the run itself stays where it was started: a relative report
// name lands beside the data.
TEST(ProgramOptions, OutputDirPlotterStartsInTheFolder) {
  Scratch s;
  const fs::path log = s.root / "plotter.log";
  fs::create_directories(s.root / "nothing");
  const fs::path plotter = s.root / "nothing" / "gnuplot";
  std::ofstream(plotter) << "#!/bin/sh\necho \"$(pwd) $1\" >> '" << log.string() << "'\n";
  fs::permissions(plotter, fs::perms::owner_all);
  std::ofstream(s.dir() / "d.csv") << "h,u\n0.4,1.16\n0.2,1.04\n0.1,1.01\n";
  for (const char* folder : {"new/sub", "."}) {
    SCOPED_TRACE(folder);
    fs::remove(log);
    const auto r = run_args(s, {"--output-dir", folder, "--json", "r.json", "d.csv"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::string where = fs::canonical(s.dir() / folder).string();
    EXPECT_EQ(read_file(log), where + " Morvantide_4p0_pU.gnu\n" + where + " Morvantide_4p0_U.gnu\n");
    EXPECT_TRUE(fs::exists(s.dir() / "r.json"));
    EXPECT_TRUE(fs::exists(s.dir() / folder / "Morvantide_4p0_U.gnu"));
  }
}

TEST(ProgramOptions, HelpAndVersion) {
  Scratch s;
  const auto before = contents(s.dir());
  auto r = run_args(s, {"--help"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out.rfind("usage: morvantide [OPTION]...\n", 0), 0u);
  for (const char* option : {"--no-edit", "--no-plot", "--summary", "--json", "--csv", "--target",
                             "--variables", "--help", "--version"}) {
    EXPECT_NE(r.out.find(std::string("\n  ") + option), std::string::npos) << option;
  }
  r = run_args(s, {"--version"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "morvantide 4.0\n");
  EXPECT_EQ(contents(s.dir()), before);
}

// The report on standard output, the classic files written beside it, byte
// for byte those of a run without options (the clock aside: the listing's
// date line is left out).
TEST(ProgramOptions, ReportOnStandardOutputKeepsTheClassicFiles) {
  Scratch plain, with;
  const auto classic = run_args(plain, {});
  ASSERT_EQ(classic.exit_status, 0) << classic.err;
  EXPECT_EQ(classic.out, "");
  const auto r = run_args(with, {"--json", "-", "--no-plot", "--no-edit", "--target=1e-6"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("{\r\n  \"program\": \"morvantide 4.0\",\r\n", 0), 0u);
  EXPECT_EQ(r.out.substr(r.out.size() - 8), "  ]\r\n}\r\n");
  auto a = contents(plain.dir()), b = contents(with.dir());
  ASSERT_EQ(a.size(), b.size());
  for (auto& [name, content] : a) {
    if (name == "listagem.txt" || name.find(".gnu") != std::string::npos) continue;  // dated
    EXPECT_EQ(content, b[name]) << name;
  }
}

// The README shows the bundled examples' summaries as the program prints
// them: the table's and the classic run's.
TEST(ProgramOptions, ReadmeSummaryIsWhatTheProgramPrints) {
  const std::string readme = read_file(MORVANTIDE_SOURCE_DIR "/README.md");
  struct Case {
    std::string intro;
    std::vector<std::string> args;
  } cases[] = {
      {"`build/morvantide examples/channel.csv` prints:\n\n",
       {MORVANTIDE_SOURCE_DIR "/examples/channel.csv"}},
      {"The bundled example, `morvantide --summary --variables all --target 0.0001%`:\n\n",
       {"--summary", "--variables", "all", "--target", "0.0001%"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.intro);
    const size_t at = readme.find(c.intro);
    ASSERT_NE(at, std::string::npos);
    // The indented block after the introduction, without its indent.
    std::string block;
    size_t line = at + c.intro.size();
    while (line < readme.size()) {
      const size_t end = readme.find('\n', line);
      const std::string text = readme.substr(line, end - line);
      if (!text.empty() && text.rfind("    ", 0) != 0) break;
      block += (text.empty() ? "" : text.substr(4)) + "\n";
      line = end + 1;
    }
    while (block.size() > 1 && block.substr(block.size() - 2) == "\n\n") block.pop_back();
    Scratch s;
    const auto r = run_args(s, c.args);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, block);
  }
}

// A full disk under the report: status 2 (a run that failed) and a message,
// not success; --help, which is no run, fails with status 1.
TEST(ProgramOptions, UnwritableStandardOutputIsAFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const struct {
    const char* args;
    int status;
  } cases[] = {{"--summary", 2}, {"--csv -", 2}, {"--help", 1}};
  for (const auto& [args, expected_status] : cases) {
    SCOPED_TRACE(args);
    Scratch s;
    const std::string command = "cd '" + s.dir().string() + "' && PATH=/nonexistent '" +
                                MORVANTIDE_BINARY + "' " + args + " </dev/null >/dev/full 2>'" +
                                (s.root / "err").string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), expected_status);
    EXPECT_NE(read_file(s.root / "err").find("standard output: cannot write ("), std::string::npos)
        << read_file(s.root / "err");
  }
}

}  // namespace
}  // namespace morvantide
