// Whole-program runs on bad inputs: the real binary (MORVANTIDE_BINARY) in a
// fresh folder per row, standard input from /dev/null, an environment with
// no editor and no plotter.  Every row must end with exit status 2 and its
// one line on standard error, create no file (no listing, no plot file), and
// leave every file of the folder, plot templates included, byte-identical.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "subprocess_testing.h"

namespace {

namespace fs = std::filesystem;

// Content markers of a row's files.
const std::string kMissing = "\x01missing";
const std::string kFolder = "\x01folder";
const std::string kLinkTo = "\x01link:";  // followed by the target
const std::string kFifo = "\x01fifo";

using Folder = std::map<std::string, std::string>;

std::string crlf(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* line : lines) out += std::string(line) + "\r\n";
  return out;
}

std::string lines_of(const char* prefix, int n) {
  std::string out;
  for (int k = 1; k <= n; ++k) out += std::string(prefix) + std::to_string(k) + "\r\n";
  return out;
}

// A sound layout-1 case: nm 4, T = 1 + h^2, both templates complete.
Folder layout1() {
  return {
      {"Morvantide_4p0.in", crlf({"1", "paramn.txt", "param1.txt"})},
      {"param1.txt", crlf({"1          ! nv", "lista.txt  ! listing", "2          ! pL",
                           "1          ! dp", "1          ! tipo_r", "50         ! itmax",
                           "1.0E-12    ! tol", "0.5        ! pU_min", "5.0        ! pU_max",
                           "4          ! nm", "resultados.txt", "'Caso base'"})},
      {"resultados.txt", crlf({"h T", "0.8 1.64", "0.4 1.16", "0.2 1.04", "0.1 1.01"})},
      {"Morvantide_4p0_pU.gnu", lines_of("# pU template line ", 15) + "set title 'old'\r\nreplot\r\n"},
      {"Morvantide_4p0_U.gnu", lines_of("# U template line ", 10)},
  };
}

// A sound layout-0 case: nm 3, nv 2 (variable 1 is not analysed).
Folder layout0() {
  Folder f = layout1();
  f["Morvantide_4p0.in"] = crlf({"0", "paramn.txt", "param1.txt"});
  f.erase("param1.txt");
  f.erase("resultados.txt");
  f["paramn.txt"] = crlf({"2", "lista.txt", "2", "1", "1", "50", "1.0E-12", "0.5", "5.0", "3",
                          "r1.txt", "r2.txt", "r3.txt", "'Caso base'"});
  f["r1.txt"] = crlf({"0.4", "1 9.0", "2 1.16"});
  f["r2.txt"] = crlf({"0.2", "1 9.0", "2 1.04"});
  f["r3.txt"] = crlf({"0.1", "1 9.0", "2 1.01"});
  return f;
}

// The text with its line `n` (1-based) replaced.
std::string with_line(const std::string& text, int n, const std::string& line) {
  std::istringstream in(text);
  std::string out, current;
  for (int k = 1; std::getline(in, current); ++k) out += (k == n ? line + "\r" : current) + "\n";
  return out;
}

Folder changed(Folder f, const std::string& name, const std::string& content) {
  f[name] = content;
  return f;
}

Folder param1_line(int n, const std::string& line) {
  Folder f = layout1();
  f["param1.txt"] = with_line(f["param1.txt"], n, line);
  return f;
}

using morvantide::testing_process::Outcome;
using morvantide::testing_process::read_file;

// How a row starts the program, beyond the defaults.
struct Start {
  int uid = -1;                         // run as this user (-1: as we are)
  std::vector<std::string> arguments = {};  // after the program's name
  std::string stdout_to = {};               // a file for standard output instead of scratch/stdout
  long file_size_limit = -1;                // ulimit -f, in 512-byte blocks (-1: none)
  std::vector<int> closed = {};             // descriptors closed in the program (0, 1, 2)
  bool stdout_kept = false;                 // stdout_to opened without emptying it
  bool stdout_to_closed_pipe = false;       // standard output a pipe nobody reads
  long process_limit = -1;                  // ulimit -u (-1: none)
  std::vector<std::string> env = {};        // more of the environment
};

// Runs the program in `dir` as the user `uid` (-1: as we are), stdin from
// /dev/null, an environment holding only an empty-folder PATH, TZ and LC_ALL.
// Another user runs a copy of the program in `scratch`, which it can reach
// wherever the build folder is.
Outcome run_program(const fs::path& dir, const fs::path& scratch, const Start& start = {}) {
  morvantide::testing_process::Command c;
  std::string binary = MORVANTIDE_BINARY;
  if (start.uid >= 0) {
    fs::copy_file(binary, scratch / "morvantide");
    binary = (scratch / "morvantide").string();
  }
  fs::create_directories(scratch / "nothing");
  c.argv = {binary};
  c.argv.insert(c.argv.end(), start.arguments.begin(), start.arguments.end());
  c.dir = dir;
  c.env = {"PATH=" + (scratch / "nothing").string(), "TZ=UTC", "LC_ALL=C"};
  c.env.insert(c.env.end(), start.env.begin(), start.env.end());
  c.uid = start.uid;
  c.stdout_kept = start.stdout_kept;
  c.stdout_to_closed_pipe = start.stdout_to_closed_pipe;
  c.process_limit = start.process_limit;
  c.timeout_seconds = 30;
  c.capture_dir = scratch;
  c.stdout_path = start.stdout_to.empty() || start.stdout_to[0] == '/'
                      ? fs::path(start.stdout_to)
                      : dir / start.stdout_to;
  c.file_size_limit = start.file_size_limit;
  c.closed = start.closed;
  return morvantide::testing_process::run_process(c);
}

// Every entry under `dir`: a file's checksum and size, a link's target, a
// folder's mark.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(e.path(), dir).string();
    if (e.is_symlink()) {
      entries[name] = "link to " + fs::read_symlink(e.path()).string();
    } else if (e.is_fifo()) {
      entries[name] = "fifo";
    } else if (e.is_directory()) {
      entries[name] = "folder";
    } else {
      const std::string content = read_file(e.path());
      uint64_t hash = 14695981039346656037ull;  // FNV-1a
      for (unsigned char c : content) hash = (hash ^ c) * 1099511628211ull;
      char text[64];
      std::snprintf(text, sizeof text, "%zu bytes, checksum %016llx", content.size(),
                    static_cast<unsigned long long>(hash));
      entries[name] = text;
    }
  }
  return entries;
}

void lay_out(const fs::path& dir, const Folder& files) {
  for (const auto& [name, content] : files) {
    const fs::path p = dir / name;
    if (content == kMissing) continue;
    if (content == kFolder) {
      fs::create_directories(p);
    } else if (content == kFifo) {
      mkfifo(p.c_str(), 0644);
    } else if (content.rfind(kLinkTo, 0) == 0) {
      fs::create_symlink(content.substr(kLinkTo.size()), p);
    } else {
      std::ofstream(p, std::ios::binary) << content;
    }
  }
}

struct Scratch {
  fs::path root;
  Scratch() {
    char name[] = "/tmp/morvantide_bad_XXXXXX";
    root = mkdtemp(name);
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(root / "case");
  }
  ~Scratch() {
    std::error_code ec;
    fs::permissions(root / "case", fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
  }
  fs::path dir() const { return root / "case"; }
};

struct Row {
  const char* what;
  Folder files;
  std::string message;
  Start start = {};
  bool lock_held = false;                 // another process holds the control file's lock
  std::vector<std::string> read_only = {};  // names made read-only ("." the folder)
  int exit_status = 2;
  bool folder_held = false;  // another process holds the folder's lock
};

// Checks one run: status 2, the message, no output, every input unchanged.
void expect_refused(const Row& row) {
  SCOPED_TRACE(row.what);
  Scratch scratch;
  lay_out(scratch.dir(), row.files);
  for (const std::string& name : row.read_only) {
    fs::permissions(scratch.dir() / name,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  int held = -1;
  if (row.lock_held) {
    held = open((scratch.dir() / "Morvantide_4p0.in").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
  }
  if (row.folder_held) {
    held = open(scratch.dir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
  }
  if (row.start.uid >= 0) {
    for (const auto& e : fs::recursive_directory_iterator(scratch.dir())) {
      if (lchown(e.path().c_str(), row.start.uid, row.start.uid) != 0) ADD_FAILURE() << "chown";
    }
    if (chown(scratch.dir().c_str(), row.start.uid, row.start.uid) != 0) ADD_FAILURE() << "chown";
  }
  const auto before = snapshot(scratch.dir());
  const Outcome r = run_program(scratch.dir(), scratch.root, row.start);
  if (held >= 0) close(held);
  EXPECT_EQ(r.exit_status, row.exit_status);
  EXPECT_EQ(r.err, row.message + "\n");
  EXPECT_EQ(r.out, "");
  const auto after = snapshot(scratch.dir());
  for (const auto& [name, state] : after) {
    auto it = before.find(name);
    if (it == before.end()) {
      ADD_FAILURE() << "created " << name;
    } else {
      EXPECT_EQ(state, it->second) << name << " changed";
    }
  }
  for (const auto& [name, state] : before) {
    EXPECT_TRUE(after.count(name)) << "removed " << name;
  }
}

// A previous complete report beside the case.
Folder with_json(Folder f) {
  f["r.json"] = "{\"old\": true}\r\n";
  return f;
}

// The pU script as a first run leaves it: the default template completed.
std::string made_from_default() {
  return read_file(fs::path(MORVANTIDE_SOURCE_DIR) / "templates/Morvantide_4p0_pU.gnu") +
         "set title 'Caso base (1/1/2026)'\r\nreplot\r\n";
}

const std::string long_name = std::string(300, 'r') + ".json";

TEST(BadInput, RefusedWithoutWritingAnything) {
  const std::string enoent = " (No such file or directory)";
  const Row rows[] = {
      // Missing files.
      {"no control file", changed(layout1(), "Morvantide_4p0.in", kMissing),
       "Morvantide_4p0.in: cannot open" + enoent +
           "; to analyse a table of grids instead: morvantide study.csv (see morvantide --help)"},
      {"no parameter file", changed(layout1(), "param1.txt", kMissing),
       "Morvantide_4p0.in:3: param1.txt: cannot open" + enoent},
      {"no result file, layout 1", changed(layout1(), "resultados.txt", kMissing),
       "param1.txt:11: resultados.txt: cannot open" + enoent},
      {"no result file of grid 2, layout 0", changed(layout0(), "r2.txt", kMissing),
       "paramn.txt:12: r2.txt: cannot open" + enoent},
      {"result file is a folder", changed(layout1(), "resultados.txt", kFolder),
       "param1.txt:11: resultados.txt: cannot open (it is a folder)"},

      // Control file.
      {"modo is a word", changed(layout1(), "Morvantide_4p0.in", crlf({"um", "a", "b"})),
       "Morvantide_4p0.in:1: expected an integer for modo (the layout of the results, 0 or 1), found \"um\""},
      {"modo is a decimal", changed(layout1(), "Morvantide_4p0.in", crlf({"1.0", "a", "b"})),
       "Morvantide_4p0.in:1: expected an integer for modo (the layout of the results, 0 or 1), found \"1.0\""},
      {"modo 2", changed(layout1(), "Morvantide_4p0.in", crlf({"2", "paramn.txt", "param1.txt"})),
       "Morvantide_4p0.in:1: the layout of the results (modo) must be 0 or 1, found 2"},
      {"modo -1", changed(layout1(), "Morvantide_4p0.in", crlf({"-1", "paramn.txt", "param1.txt"})),
       "Morvantide_4p0.in:1: the layout of the results (modo) must be 0 or 1, found -1"},
      {"control file without its third line",
       changed(layout1(), "Morvantide_4p0.in", crlf({"1", "paramn.txt"})),
       "Morvantide_4p0.in:3: file ends before the parameter file of layout 1 could be read"},

      // Parameter file: each number of the wrong type.
      {"nv is a word", param1_line(1, "x ! nv"),
       "param1.txt:1: expected an integer for nv (the number of the variable), found \"x\""},
      {"pL is a word", param1_line(3, "dois"),
       "param1.txt:3: expected a real number for pL (the asymptotic order), found \"dois\""},
      {"dp is a word", param1_line(4, "um"),
       "param1.txt:4: expected a real number for dp (the step between the true orders), found \"um\""},
      {"tipo_r is a decimal", param1_line(5, "1.5"),
       "param1.txt:5: expected an integer for tipo_r (the kind of refinement ratio, 1 constant or 2 variable), found \"1.5\""},
      {"itmax is a decimal", param1_line(6, "50."),
       "param1.txt:6: expected an integer for itmax (the most iterations of the order search), found \"50.\""},
      {"tol with a Q exponent", param1_line(7, "1.0Q-12"),
       "param1.txt:7: expected a real number for tol (the tolerance of the order search), found \"1.0Q-12\""},
      {"pU_min is a word", param1_line(8, "meio"),
       "param1.txt:8: expected a real number for pU_min (the lowest order searched), found \"meio\""},
      {"pU_max with two points", param1_line(9, "5.0.0"),
       "param1.txt:9: expected a real number for pU_max (the highest order searched), found \"5.0.0\""},
      {"nm is a decimal", param1_line(10, "4.0"),
       "param1.txt:10: expected an integer for nm (the number of grids), found \"4.0\""},
      {"nm beyond 32 bits", param1_line(10, "99999999999"),
       "param1.txt:10: nm (the number of grids) does not fit a 32-bit integer: \"99999999999\""},
      {"nv 0", param1_line(1, "0"),
       "param1.txt:1: nv (the number of the variable) must be at least 1, found 0"},
      {"nm 0", param1_line(10, "0"),
       "param1.txt:10: nm (the number of grids) must be at least 1, found 0"},
      {"huge nm", param1_line(10, "2000000000"),
       "param1.txt:10: nm = 2000000000 grids are more than a run takes (at most 11000: the "
       "estimation time grows with the square of nm, and that many grids take about a minute)"},
      {"nm one above the bound", param1_line(10, "11001"),
       "param1.txt:10: nm = 11001 grids are more than a run takes (at most 11000: the "
       "estimation time grows with the square of nm, and that many grids take about a minute)"},
      {"empty listing name", param1_line(2, "''"), "param1.txt:2: the listing file name is empty"},
      // File names: no control byte (a NUL cut the name short), and an
      // unquoted name with a slash is pointed at where it stands.
      {"NUL in the quoted listing name", param1_line(2, std::string("'lista\0U_15.dat'", 16)),
       "param1.txt:2: the listing file name \"lista\\x00U_15.dat\" holds a control byte, which no "
       "file name may hold"},
      {"escape in the quoted result file name",
       param1_line(11, "'\x1b]0;pwned\x07r.txt'"),
       "param1.txt:11: the result file name \"\\x1b]0;pwned\\x07r.txt\" holds a control byte, which "
       "no file name may hold"},
      {"unquoted result file name with a slash, layout 0",
       changed(changed(layout0(), "paramn.txt", with_line(layout0()["paramn.txt"], 12, "casos/r2.txt")),
               "casos", kFolder),
       "paramn.txt:12: casos: cannot open (it is a folder); the result file name of grid 2 stopped at "
       "a slash: a name with / must be quoted"},
      {"unquoted parameter file name with a slash",
       changed(layout1(), "Morvantide_4p0.in", crlf({"1", "paramn.txt", "dados/param1.txt"})),
       "Morvantide_4p0.in:3: dados: cannot open (No such file or directory); the parameter file of "
       "layout 1 stopped at a slash: a name with / must be quoted"},
      // Lines that end with CR only make one long line.
      {"parameter file with CR-only line ends",
       changed(layout1(), "param1.txt", "1\rlista.txt\r2\r1\r1\r50\r1.0E-12\r0.5\r5.0\r4\r"
                                         "resultados.txt\r'Caso base'\r"),
       "param1.txt: lines end with CR only; save it with LF or CR LF line ends"},

      // Result files.
      {"decimal in the integer column, layout 0",
       changed(layout0(), "r2.txt", crlf({"0.2", "1.0 9.0", "2 1.04"})),
       "r2.txt:2: expected an integer for the number of variable 1 of grid 2, found \"1.0\""},
      {"result file ends early, layout 0", changed(layout0(), "r3.txt", crlf({"0.1", "1 9.0"})),
       "r3.txt:3: file ends before the number of variable 2 of grid 3 could be read"},
      {"empty result file, layout 0", changed(layout0(), "r1.txt", ""),
       "r1.txt:1: file ends before h of grid 1 could be read"},
      {"result file ends early, layout 1",
       changed(layout1(), "resultados.txt", crlf({"h T", "0.8 1.64", "0.4 1.16", "0.2 1.04"})),
       "resultados.txt:5: file ends before h of grid 4 could be read"},
      {"last row with too few values, layout 1",
       changed(layout1(), "resultados.txt", crlf({"h T", "0.8 1.64", "0.4 1.16", "0.2 1.04", "0.1"})),
       "resultados.txt:5: file ends before the value of variable 1 of grid 4 could be read"},
      {"text for a value, layout 1",
       changed(layout1(), "resultados.txt", crlf({"h T", "0.8 1.64", "0.4 x", "0.2 1.04", "0.1 1.01"})),
       "resultados.txt:3: expected a real number for the value of variable 1 of grid 2, found \"x\""},

      // Outputs that would overwrite an input.
      {"listing named like the parameter file", param1_line(2, "param1.txt"),
       "the listing \"param1.txt\" would overwrite the parameter file \"param1.txt\"; "
       "rename one of them"},
      {"listing named like the control file", param1_line(2, "Morvantide_4p0.in"),
       "the listing \"Morvantide_4p0.in\" would overwrite the control file \"Morvantide_4p0.in\"; "
       "rename one of them"},
      {"listing named like the result file", param1_line(2, "resultados.txt"),
       "the listing \"resultados.txt\" would overwrite the result file \"resultados.txt\"; "
       "rename one of them"},
      {"listing spelled ./param1.txt", param1_line(2, "'./param1.txt'"),
       "the listing \"./param1.txt\" would overwrite the parameter file \"param1.txt\"; "
       "rename one of them"},
      {"listing is a link to the result file",
       changed(param1_line(2, "atalho.txt"), "atalho.txt", kLinkTo + "resultados.txt"),
       "the listing \"atalho.txt\" would overwrite the result file \"resultados.txt\"; "
       "rename one of them"},
      {"listing named like a plot data file", param1_line(2, "U_12.dat"),
       "the listing \"U_12.dat\" is the same file as the plot file \"U_12.dat\"; rename the listing"},
      {"listing named like a plot template", param1_line(2, "Morvantide_4p0_U.gnu"),
       "the listing \"Morvantide_4p0_U.gnu\" would overwrite the plot template "
       "\"Morvantide_4p0_U.gnu\"; rename one of them"},
      {"result file named p0.dat, layout 0",
       changed(changed(changed(layout0(), "paramn.txt",
                               with_line(layout0()["paramn.txt"], 11, "p0.dat")),
                       "p0.dat", layout0()["r1.txt"]),
               "r1.txt", kMissing),
       "the plot file \"p0.dat\" would overwrite the result file of grid 1 \"p0.dat\"; "
       "rename one of them"},
      {"result file named p1.dat, layout 1",
       changed(changed(param1_line(11, "p1.dat"), "p1.dat", layout1()["resultados.txt"]),
               "resultados.txt", kMissing),
       "the plot file \"p1.dat\" would overwrite the result file \"p1.dat\"; rename one of them"},

      // Plot templates.
      {"template of pU shorter than its kept lines",
       changed(layout1(), "Morvantide_4p0_pU.gnu", lines_of("# line ", 14)),
       "Morvantide_4p0_pU.gnu: the plot template has only 14 lines, 15 are needed"},
      {"empty template of U", changed(layout1(), "Morvantide_4p0_U.gnu", ""),
       "Morvantide_4p0_U.gnu: the plot template has only 0 lines, 10 are needed"},

      // Every file the control file names is an input, in either layout.
      {"listing named like the parameter file of the other layout",
       changed(param1_line(2, "paramn.txt"), "paramn.txt", "kept\r\n"),
       "the listing \"paramn.txt\" would overwrite the parameter file of layout 0 \"paramn.txt\"; "
       "rename one of them"},
      // What a default template draws is an output too.
      {"listing named like the picture of the default pU template",
       changed(param1_line(2, "Morvantide_4p0_pU.png"), "Morvantide_4p0_pU.gnu", kMissing),
       "the listing \"Morvantide_4p0_pU.png\" is the same file as the picture of the default plot "
       "template \"Morvantide_4p0_pU.png\"; rename the listing"},
      {"result file named like the picture of the default U template",
       changed(changed(changed(param1_line(11, "Morvantide_4p0_U.png"), "Morvantide_4p0_U.png",
                               layout1()["resultados.txt"]),
                       "resultados.txt", kMissing),
               "Morvantide_4p0_U.gnu", kMissing),
       "the picture of the default plot template \"Morvantide_4p0_U.png\" would overwrite the "
       "result file \"Morvantide_4p0_U.png\"; rename one of them"},
      // Links are followed, dangling ones too: they create their target.
      {"listing is a dangling link to a plot data file",
       changed(layout1(), "lista.txt", kLinkTo + "p0.dat"),
       "the listing \"lista.txt\" is the same file as the plot file \"p0.dat\"; rename the listing"},
      {"template is a dangling link to the listing",
       changed(layout1(), "Morvantide_4p0_U.gnu", kLinkTo + "lista.txt"),
       "the listing \"lista.txt\" would overwrite the plot template \"Morvantide_4p0_U.gnu\"; "
       "rename one of them"},

      // Only regular files are read or written: nothing may block the run or
      // feed it endless bytes.
      {"result file is a FIFO", changed(layout1(), "resultados.txt", kFifo),
       "param1.txt:11: resultados.txt: not a regular file"},
      {"control file is a FIFO", changed(layout1(), "Morvantide_4p0.in", kFifo),
       "Morvantide_4p0.in: not a regular file"},
      {"template is a FIFO", changed(layout1(), "Morvantide_4p0_U.gnu", kFifo),
       "Morvantide_4p0_U.gnu: not a regular file"},
      {"plot data file is a FIFO", changed(layout1(), "p2.dat", kFifo), "p2.dat: not a regular file"},
      {"result file is /dev/zero", changed(layout1(), "resultados.txt", kLinkTo + "/dev/zero"),
       "param1.txt:11: resultados.txt: not a regular file"},
      {"result file of grid 2 is /dev/urandom, layout 0",
       changed(layout0(), "r2.txt", kLinkTo + "/dev/urandom"), "paramn.txt:12: r2.txt: not a regular file"},
      {"listing on /dev/full", param1_line(2, "'/dev/full'"), "/dev/full: not a regular file"},

      // One run at a time in a folder.
      {"another run holds the folder", layout1(), "Morvantide_4p0.in: another run is using this folder",
       {}, true},
      {"a data run's --output-dir where another run holds the folder",
       [] {
         Folder f = layout1();
         f["d.csv"] = "h,u\n0.4,1.16\n0.2,1.04\n";
         return f;
       }(),
       "Morvantide_4p0.in: another run is using this folder",
       {.arguments = {"--output-dir", ".", "d.csv"}}, true},

      // Outputs that cannot be written.
      {"listing in a missing folder", param1_line(2, "'nao_existe/lista.txt'"),
       "nao_existe/lista.txt: cannot create" + enoent},
      {"listing named like a folder", changed(param1_line(2, "saida"), "saida", kFolder),
       "the listing \"saida\" cannot be written: a folder of that name exists"},
      {"plot data file named like a folder", changed(layout1(), "pU_c.dat", kFolder),
       "the plot file \"pU_c.dat\" cannot be written: a folder of that name exists"},
      {"report through a regular file", with_json(layout1()), "resultados.txt/x.csv: cannot create (Not a directory)",
       {.arguments = {"--csv", "resultados.txt/x.csv"}}},
      {"report name too long", with_json(layout1()),
       long_name + ": cannot create (File name too long)", {.arguments = {"--json", long_name}}},
      {"listing named like the picture of a script made from the default template",
       changed(param1_line(2, "Morvantide_4p0_pU.png"), "Morvantide_4p0_pU.gnu", made_from_default()),
       "the listing \"Morvantide_4p0_pU.png\" is the same file as the picture of the default plot "
       "template \"Morvantide_4p0_pU.png\"; rename the listing"},
      {"summary onto the listing", changed(layout1(), "lista.txt", "old listing\r\n"),
       "standard output would overwrite the listing \"lista.txt\"; send it elsewhere",
       {.arguments = {"--summary"}, .stdout_to = "lista.txt", .stdout_kept = true}},
      {"unquoted absolute parameter file name",
       changed(layout1(), "Morvantide_4p0.in", crlf({"1", "paramn.txt", "/dados/param1.txt"})),
       "Morvantide_4p0.in:3: the parameter file of layout 1 has no name; the parameter file of "
       "layout 1 stopped at a slash: a name with / must be quoted"},
  };
  for (const Row& row : rows) expect_refused(row);
  // An editor that saved the control file by renaming a new one over it
  // leaves the first run's hold on the folder.
  Row held{"another run holds the folder, the control file saved since", layout1(),
           "Morvantide_4p0.in: another run is using this folder"};
  held.folder_held = true;
  expect_refused(held);
  // A data run's folder needs no control file to be held.
  Row data_held{"a data run's folder without a control file, held by another run",
                {{"d.csv", "h,u\n0.4,1.16\n0.2,1.04\n"}},
                ".: another run is using this folder",
                {.arguments = {"--no-edit", "--no-plot", "--output-dir", ".", "d.csv"}}};
  data_held.folder_held = true;
  expect_refused(data_held);
}

// The user nobody, when we are root and may become it (permission bits do
// not bind root); -1 when we are not root; -2 when we cannot.
int nobody_or_self() {
  const int nobody = 65534;
  if (geteuid() != 0) return -1;
  return morvantide::testing_process::can_become(nobody) ? nobody : -2;
}

// Files the user may not write.  Under root the program runs as the user
// nobody, who owns the folder and its files.
TEST(BadInput, ReadOnly) {
  const int uid = nobody_or_self();
  if (uid == -2) GTEST_SKIP() << "running as root without the right to become another user";
  const Start as_user{.uid = uid};
  const Row rows[] = {
      {"read-only folder", layout1(), "lista.txt: cannot create (Permission denied)", as_user,
       false, {"."}},
      // Found before the listing and the plot files are written.
      {"read-only template of U", layout1(),
       "Morvantide_4p0_U.gnu: cannot write (Permission denied)", as_user, false,
       {"Morvantide_4p0_U.gnu"}},
      {"read-only plot data file", changed(layout1(), "U_13.dat", "old\r\n"),
       "U_13.dat: cannot write (Permission denied)", as_user, false, {"U_13.dat"}},
  };
  for (const Row& row : rows) expect_refused(row);
}

// A failed write to standard output is a failure (exit status 1).
TEST(BadInput, HelpAndVersionToAFullDisk) {
  for (const char* option : {"--help", "--version"}) {
    Row row{option, layout1(),
            "morvantide: standard output: cannot write (No space left on device)",
            {.arguments = {option}, .stdout_to = "/dev/full"}};
    row.exit_status = 1;
    expect_refused(row);
  }
}

// A sound run whose writes fail half-way: the listing and the plot data
// files may stay half-written (every run rewrites them), but the run ends
// with its message and status 2, and a plot template, the user's own file,
// is either rewritten whole or left exactly as it was, with no temporary
// file left behind.
TEST(BadInput, WritesThatFailHalfWay) {
  Folder big_template = layout1();
  big_template["Morvantide_4p0_pU.gnu"] = lines_of(("# " + std::string(600, 'x') + " ").c_str(), 15);
  struct Case {
    const char* what;
    Folder files;
    long blocks;  // the file size limit, in blocks of 512 bytes
    std::string message;
    bool templates_kept;  // else each is kept or rewritten whole
  } cases[] = {
      {"listing beyond the file size limit", layout1(), 2, "lista.txt: cannot write (File too large)",
       false},
      {"template beyond the file size limit", big_template, 12,
       "Morvantide_4p0_pU.gnu: cannot write (File too large)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch scratch;
    lay_out(scratch.dir(), c.files);
    const auto before = snapshot(scratch.dir());
    const Outcome r = run_program(scratch.dir(), scratch.root, {.file_size_limit = c.blocks});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.err, c.message + "\n");
    const auto after = snapshot(scratch.dir());
    for (const char* name : {"Morvantide_4p0_pU.gnu", "Morvantide_4p0_U.gnu"}) {
      const std::string text = read_file(scratch.dir() / name);
      const bool whole = text.size() > 8 && text.compare(text.size() - 8, 8, "replot\r\n") == 0;
      if (c.templates_kept || !whole) {
        EXPECT_EQ(after.at(name), before.at(name)) << name;
      }
    }
    for (const auto& [name, state] : after) {
      EXPECT_EQ(name.find(".gnu."), std::string::npos) << "left behind: " << name;
    }
  }
}

// Started with standard error closed, the run must not give that number to
// the listing: the plotter would inherit it and write its messages into the
// listing.  Nor may the plotter inherit any other file of the run.
TEST(BadInput, ClosedStandardDescriptors) {
  Scratch scratch;
  lay_out(scratch.dir(), layout1());
  const fs::path bin = scratch.root / "nothing";
  fs::create_directories(bin);
  std::ofstream(bin / "gnuplot") << "#!/bin/sh\necho 'gnuplot noise' >&2\n"
                                    "exec /bin/ls /proc/self/fd >> fds.txt\n";
  fs::permissions(bin / "gnuplot", fs::perms::owner_all);
  const Outcome r = run_program(scratch.dir(), scratch.root, {.closed = {2}});
  EXPECT_EQ(r.exit_status, 0);
  const std::string listing = read_file(scratch.dir() / "lista.txt");
  EXPECT_EQ(listing.find("noise"), std::string::npos);
  EXPECT_NE(listing.find("UGCI"), std::string::npos);
  // What ls finds open, once per script: 0, 1, 2 and the one it reads the
  // folder with (numbers from 10 up are the shell's own).
  std::istringstream fds(read_file(scratch.dir() / "fds.txt"));
  std::string open_ones;
  for (int fd; fds >> fd;) {
    if (fd < 10) open_ones += std::to_string(fd) + " ";
  }
  EXPECT_EQ(open_ones, "0 1 2 3 0 1 2 3 ");
}

// Three variables, for the report's threads.
Folder three_variables() {
  Folder f = with_json(layout1());
  f["resultados.txt"] = crlf({"h T U \x1b[2JV", "0.8 1.64 2 3", "0.4 1.16 2.5 3.5", "0.2 1.04 2.7 3.7",
                              "0.1 1.01 2.8 3.8"});
  return f;
}

// A data run's table, and one whose header has control bytes.
const char kStudy[] = "h,u\n0.4,1.16\n0.2,1.04\n0.1,1.01\n";
const char kControlHeader[] = "h,u\x1b[2JV\n0.4,1.16\n0.2,1.04\n0.1,1.01\n";
const std::string kLongName = "\xc3\xa9tude-" + std::string(60, 'x') + ".csv";
int g_live = -1;  // the descriptor that holds a live run's temporary file

// A sound run on a shared folder or with a report: what it must keep.
TEST(BadInput, SharedFoldersAndReports) {
  const int nobody = nobody_or_self() >= 0 ? 65534 : -1;
  struct Case {
    const char* what;
    Folder files;
    Start start;
    int exit_status;
    std::string message;      // standard error
    std::string out_holds;    // a text standard output must hold
    std::vector<std::string> kept;  // files left byte for byte as they were
    std::function<void(const fs::path&)> before = {}, after = {};
  } cases[] = {
      {"template of another user keeps owner, group and mode", layout1(), {}, 0, "", "", {},
       [](const fs::path& d) {
         ASSERT_EQ(chown((d / "Morvantide_4p0_pU.gnu").c_str(), 4321, 4322), 0);
         fs::permissions(d / "Morvantide_4p0_pU.gnu", fs::perms(0660));
       },
       [](const fs::path& d) {
         struct stat st;
         ASSERT_EQ(stat((d / "Morvantide_4p0_pU.gnu").c_str(), &st), 0);
         EXPECT_EQ(st.st_uid, 4321u);
         EXPECT_EQ(st.st_gid, 4322u);
         EXPECT_EQ(st.st_mode & 07777, 0660u);
       }},
      {"template with a hard link stays one file", layout1(), {}, 0, "", "", {},
       [](const fs::path& d) { fs::create_hard_link(d / "Morvantide_4p0_U.gnu", d / "copia.gnu"); },
       [](const fs::path& d) {
         EXPECT_TRUE(fs::equivalent(d / "Morvantide_4p0_U.gnu", d / "copia.gnu"));
         EXPECT_NE(read_file(d / "copia.gnu").find("replot"), std::string::npos);
       }},
      {"report with a hard link rewritten where it is and cut to its new length",
       {{"d.csv", kStudy}}, {.arguments = {"--json", "r.json", "d.csv"}}, 0, "", "", {},
       [](const fs::path& d) {
         std::ofstream(d / "r.json") << std::string(100000, '@');
         fs::create_hard_link(d / "r.json", d / "link.json");
       },
       [](const fs::path& d) {
         EXPECT_TRUE(fs::equivalent(d / "r.json", d / "link.json"));
         const std::string text = read_file(d / "link.json");
         EXPECT_EQ(text.rfind("{\r\n  \"program\": ", 0), 0u);
         EXPECT_EQ(text.find('@'), std::string::npos) << text.size() << " bytes";
         EXPECT_EQ(text.substr(text.size() - 8), "  ]\r\n}\r\n");
       }},
      {"stray temporaries of an ended run removed, look-alikes kept", layout1(), {}, 0, "", "",
       {"morvantide-notes.txt", "Morvantide_4p0_pU.gnu.backup", "morvantide-ab.tmp"},
       [](const fs::path& d) {
         for (const char* name : {"morvantide-a1B2c3.tmp", "morvantide-notes.txt",
                                  "Morvantide_4p0_pU.gnu.backup", "morvantide-ab.tmp"}) {
           std::ofstream(d / name) << "x";
         }
       },
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "morvantide-a1B2c3.tmp")); }},
      {"report cut short by the file size limit keeps the old report", three_variables(),
       {.arguments = {"--variables", "all", "--json", "r.json"}, .file_size_limit = 16}, 2,
       "r.json: cannot write (File too large)", "", {"r.json"}},
      {"report to a closed standard output", three_variables(),
       {.arguments = {"--json", "-"}, .closed = {1}}, 2,
       "standard output: cannot write (Bad file descriptor)", "", {}},
      {"closed standard output refused before any file is written", three_variables(),
       {.arguments = {"--summary", "--json", "r.json"}, .closed = {1}}, 2,
       "standard output: cannot write (Bad file descriptor)", "", {"r.json"}, {},
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "lista.txt")); }},
      {"data run's standard output onto its own data file", {{"d.csv", "h,u\n0.4,1.16\n"}},
       {.arguments = {"d.csv"}, .stdout_to = "d.csv"}, 2,
       "standard output would overwrite the data file \"d.csv\"; send it elsewhere", "", {}},
      {"two report names for one file in a data run, no listing to rename",
       {{"d.csv", "h,u\n0.4,1.16\n0.2,1.04\n"}},
       {.arguments = {"--json", "x.json", "--csv", "./x.json", "d.csv"}}, 2,
       "the report file \"x.json\" is the same file as the report file \"./x.json\"; rename one "
       "of them", "", {}},
      {"header control bytes shown in a data run's summary",
       {{"d.csv", "h,u\x1b[2JV\n0.4,1.16\n0.2,1.04\n0.1,1.01\n"}}, {.arguments = {"d.csv"}}, 0,
       "", "\"u\\x1b[2JV\"", {}},
      {"summary into a pipe nobody reads", three_variables(),
       {.arguments = {"--summary"}, .stdout_to_closed_pipe = true}, 2,
       "standard output: cannot write (Broken pipe)", "", {}},
      {"a live run's temporary file kept, a stray one removed", {{"d.csv", kStudy}},
       {.arguments = {"--json", "r.json", "d.csv"}}, 0, "", "", {"morvantide-Live01.tmp"},
       [](const fs::path& d) {
         std::ofstream(d / "morvantide-Live01.tmp") << "being written";
         std::ofstream(d / "morvantide-Ended1.tmp") << "x";
         g_live = open((d / "morvantide-Live01.tmp").c_str(), O_RDONLY | O_CLOEXEC);
         ASSERT_EQ(flock(g_live, LOCK_EX), 0);
       },
       [](const fs::path& d) {
         close(g_live);
         EXPECT_FALSE(fs::exists(d / "morvantide-Ended1.tmp"));
       }},
      {"header control bytes spelled out in a data run's CSV", {{"d.csv", kControlHeader}},
       {.arguments = {"--csv", "-", "d.csv"}}, 0, "", ",u\\x1b[2JV,1,", {}},
      {"header control bytes spelled out in a data run's JSON", {{"d.csv", kControlHeader}},
       {.arguments = {"--json", "-", "d.csv"}}, 0, "", "\"u\\\\x1b[2JV\"", {}},
      {"a long UTF-8 name whole in Windows-1252 in the listing and the scripts",
       {{kLongName, "h,\xc3\xa9tat\xce\xa9\n" + std::string(kStudy).substr(4)}},
       {.arguments = {"--no-edit", "--no-plot", "--output-dir", ".", kLongName}}, 0, "", "", {},
       {},
       [](const fs::path& d) {
         const std::string latin = "\xe9tude-" + std::string(60, 'x') + ".csv";
         const std::string listing = read_file(d / "listagem.txt");
         EXPECT_NE(listing.find("  " + latin + "\r\n"), std::string::npos) << listing;
         EXPECT_NE(listing.find(latin + ": \xe9tat?\r\n"), std::string::npos) << listing;
         EXPECT_NE(read_file(d / "Morvantide_4p0_U.gnu").find(latin + ": \xe9tat? ("),
                   std::string::npos);
       }},
      {"header control bytes shown in the summary", three_variables(),
       {.arguments = {"--summary", "--variables", "3"}}, 0, "", "\"\\x1b[2JV\"", {}},
      // (The leak check of a sanitizer build needs a thread of its own.)
      {"no thread can start", three_variables(),
       {.uid = nobody, .arguments = {"--summary", "--variables", "all"}, .process_limit = 1,
        .env = {"MORVANTIDE_THREADS=4", "ASAN_OPTIONS=detect_leaks=0"}},
       0, "", "\"U\"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch scratch;
    lay_out(scratch.dir(), c.files);
    if (c.before) c.before(scratch.dir());
    if (c.start.uid >= 0) {
      for (const auto& e : fs::recursive_directory_iterator(scratch.dir())) {
        if (lchown(e.path().c_str(), c.start.uid, c.start.uid) != 0) ADD_FAILURE() << "chown";
      }
      if (chown(scratch.dir().c_str(), c.start.uid, c.start.uid) != 0) ADD_FAILURE() << "chown";
    }
    const auto before = snapshot(scratch.dir());
    const Outcome r = run_program(scratch.dir(), scratch.root, c.start);
    EXPECT_EQ(r.exit_status, c.exit_status);
    EXPECT_EQ(r.err, c.message.empty() ? "" : c.message + "\n");
    EXPECT_NE(r.out.find(c.out_holds), std::string::npos) << r.out;
    const auto after = snapshot(scratch.dir());
    for (const std::string& name : c.kept) {
      EXPECT_TRUE(after.count(name) && after.at(name) == before.at(name)) << name << " changed";
    }
    for (const auto& [name, state] : after) {
      EXPECT_FALSE(name.rfind("morvantide-", 0) == 0 && name.size() == 21 &&
                   name.substr(17) == ".tmp" && !std::count(c.kept.begin(), c.kept.end(), name))
          << "left behind: " << name;
    }
    if (c.after) c.after(scratch.dir());
  }
}

// The same cases, sound, run to the end: the rows above fail for the reason
// they name, not because the base case is broken.
// Every input of the case with CR CR LF line ends, as a Windows program
// writing CR LF through a text-mode stream makes them.
Folder with_cr_cr_lf(Folder f) {
  for (auto& [name, content] : f) {
    if (name.find(".gnu") != std::string::npos) continue;
    std::string out;
    for (char c : content) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    content = out;
  }
  return f;
}

TEST(BadInput, BaseCasesSucceed) {
  for (const Folder& files : {layout1(), layout0(), with_cr_cr_lf(layout1()), with_cr_cr_lf(layout0())}) {
    Scratch scratch;
    lay_out(scratch.dir(), files);
    const Outcome r = run_program(scratch.dir(), scratch.root);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::exists(scratch.dir() / "lista.txt"));
    EXPECT_TRUE(fs::exists(scratch.dir() / "U_15.dat"));
  }
}

}  // namespace
