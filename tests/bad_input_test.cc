// Whole-program runs on bad inputs: the real binary (MORVANTIDE_BINARY) in a
// fresh folder per row, standard input from /dev/null, an environment with
// no editor and no plotter.  Every row must end with exit status 2 and its
// one line on standard error, create no file (no listing, no plot file), and
// leave every file of the folder, plot templates included, byte-identical.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Content markers of a row's files.
const std::string kMissing = "\x01missing";
const std::string kFolder = "\x01folder";
const std::string kLinkTo = "\x01link:";  // followed by the target

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

struct Outcome {
  int exit_status = -1;  // -1: did not exit normally
  std::string out, err;
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the program in `dir` as the user `uid` (-1: as we are), stdin from
// /dev/null, an environment holding only an empty-folder PATH, TZ and LC_ALL.
// Another user runs a copy of the program in `scratch`, which it can reach
// wherever the build folder is.
Outcome run_program(const fs::path& dir, const fs::path& scratch, int uid = -1) {
  const fs::path out = scratch / "stdout", err = scratch / "stderr";
  std::string binary = MORVANTIDE_BINARY;
  if (uid >= 0) {
    fs::copy_file(binary, scratch / "morvantide");
    binary = (scratch / "morvantide").string();
  }
  const std::string path = "PATH=" + (scratch / "nothing").string();
  fs::create_directories(scratch / "nothing");
  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(120);
    if (chdir(dir.c_str()) != 0) _exit(121);
    if (uid >= 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(122);
    alarm(30);  // a hung run is killed
    char* argv[] = {const_cast<char*>(binary.c_str()), nullptr};
    char* envp[] = {const_cast<char*>(path.c_str()), const_cast<char*>("TZ=UTC"),
                    const_cast<char*>("LC_ALL=C"), nullptr};
    execve(binary.c_str(), argv, envp);
    _exit(123);
  }
  Outcome r;
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
    r.exit_status = WEXITSTATUS(wstatus);
  }
  r.out = read_file(out);
  r.err = read_file(err);
  return r;
}

// Every entry under `dir`: a file's checksum and size, a link's target, a
// folder's mark.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(e.path(), dir).string();
    if (e.is_symlink()) {
      entries[name] = "link to " + fs::read_symlink(e.path()).string();
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

// Checks one run: status 2, the message, no output, every input unchanged.
void expect_refused(const std::string& what, const Folder& files, const std::string& message,
                    int uid = -1, bool read_only_folder = false) {
  SCOPED_TRACE(what);
  Scratch scratch;
  lay_out(scratch.dir(), files);
  if (read_only_folder) {
    fs::permissions(scratch.dir(), fs::perms::owner_write | fs::perms::group_write |
                                       fs::perms::others_write,
                    fs::perm_options::remove);
  }
  const auto before = snapshot(scratch.dir());
  const Outcome r = run_program(scratch.dir(), scratch.root, uid);
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err, message + "\n");
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

struct Row {
  const char* what;
  Folder files;
  std::string message;
};

TEST(BadInput, RefusedWithoutWritingAnything) {
  const std::string enoent = " (No such file or directory)";
  const Row rows[] = {
      // Missing files.
      {"no control file", changed(layout1(), "Morvantide_4p0.in", kMissing),
       "Morvantide_4p0.in: cannot open" + enoent},
      {"no parameter file", changed(layout1(), "param1.txt", kMissing),
       "param1.txt: cannot open" + enoent},
      {"no result file, layout 1", changed(layout1(), "resultados.txt", kMissing),
       "resultados.txt: cannot open" + enoent},
      {"no result file of grid 2, layout 0", changed(layout0(), "r2.txt", kMissing),
       "r2.txt: cannot open" + enoent},
      {"result file is a folder", changed(layout1(), "resultados.txt", kFolder),
       "resultados.txt: cannot open (it is a folder)"},

      // Control file.
      {"modo is a word", changed(layout1(), "Morvantide_4p0.in", crlf({"um", "a", "b"})),
       "Morvantide_4p0.in:1: expected an integer for modo, found \"um\""},
      {"modo is a decimal", changed(layout1(), "Morvantide_4p0.in", crlf({"1.0", "a", "b"})),
       "Morvantide_4p0.in:1: expected an integer for modo, found \"1.0\""},
      {"modo 2", changed(layout1(), "Morvantide_4p0.in", crlf({"2", "paramn.txt", "param1.txt"})),
       "Morvantide_4p0.in:1: the layout of the results (modo) must be 0 or 1, found 2"},
      {"modo -1", changed(layout1(), "Morvantide_4p0.in", crlf({"-1", "paramn.txt", "param1.txt"})),
       "Morvantide_4p0.in:1: the layout of the results (modo) must be 0 or 1, found -1"},
      {"control file without its third line",
       changed(layout1(), "Morvantide_4p0.in", crlf({"1", "paramn.txt"})),
       "Morvantide_4p0.in:3: file ends before the parameter file of layout 1 could be read"},

      // Parameter file: each number of the wrong type.
      {"nv is a word", param1_line(1, "x ! nv"),
       "param1.txt:1: expected an integer for nv, found \"x\""},
      {"pL is a word", param1_line(3, "dois"),
       "param1.txt:3: expected a real number for pL, found \"dois\""},
      {"dp is a word", param1_line(4, "um"),
       "param1.txt:4: expected a real number for dp, found \"um\""},
      {"tipo_r is a decimal", param1_line(5, "1.5"),
       "param1.txt:5: expected an integer for tipo_r, found \"1.5\""},
      {"itmax is a decimal", param1_line(6, "50."),
       "param1.txt:6: expected an integer for itmax, found \"50.\""},
      {"tol with a Q exponent", param1_line(7, "1.0Q-12"),
       "param1.txt:7: expected a real number for tol, found \"1.0Q-12\""},
      {"pU_min is a word", param1_line(8, "meio"),
       "param1.txt:8: expected a real number for pU_min, found \"meio\""},
      {"pU_max with two points", param1_line(9, "5.0.0"),
       "param1.txt:9: expected a real number for pU_max, found \"5.0.0\""},
      {"nm is a decimal", param1_line(10, "4.0"),
       "param1.txt:10: expected an integer for nm, found \"4.0\""},
      {"nm beyond 32 bits", param1_line(10, "99999999999"),
       "param1.txt:10: nm does not fit a 32-bit integer: \"99999999999\""},
      {"nv 0", param1_line(1, "0"),
       "param1.txt:1: nv (the number of the variable) must be at least 1, found 0"},
      {"nm 0", param1_line(10, "0"),
       "param1.txt:10: nm (the number of grids) must be at least 1, found 0"},
      {"huge nm", param1_line(10, "2000000000"),
       "param1.txt:10: nm = 2000000000 grids are more than the per-grid lists can hold "
       "(at most 1000000)"},
      {"empty listing name", param1_line(2, "''"), "param1.txt:2: the listing file name is empty"},

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

      // Outputs that cannot be written.
      {"listing on a full disk", param1_line(2, "'/dev/full'"),
       "/dev/full: cannot write (No space left on device)"},
      {"listing in a missing folder", param1_line(2, "'nao_existe/lista.txt'"),
       "nao_existe/lista.txt: cannot create" + enoent},
      {"listing named like a folder", changed(param1_line(2, "saida"), "saida", kFolder),
       "the listing \"saida\" cannot be written: a folder of that name exists"},
      {"plot data file named like a folder", changed(layout1(), "pU_c.dat", kFolder),
       "the plot file \"pU_c.dat\" cannot be written: a folder of that name exists"},
  };
  for (const Row& row : rows) expect_refused(row.what, row.files, row.message);
}

// A folder the user may not write in.  Permission bits do not bind root, so
// under root the program runs as the user nobody.
TEST(BadInput, ReadOnlyFolder) {
  const int nobody = 65534;
  int uid = -1;
  if (geteuid() == 0) {
    const pid_t pid = fork();
    if (pid == 0) _exit(setgid(nobody) == 0 && setuid(nobody) == 0 ? 0 : 1);
    int wstatus = 0;
    if (pid < 0 || waitpid(pid, &wstatus, 0) != pid || !WIFEXITED(wstatus) ||
        WEXITSTATUS(wstatus) != 0) {
      GTEST_SKIP() << "running as root without the right to become another user";
    }
    uid = nobody;
  }
  expect_refused("read-only folder", layout1(), "lista.txt: cannot create (Permission denied)", uid,
                 true);
}

// The same cases, sound, run to the end: the rows above fail for the reason
// they name, not because the base case is broken.
TEST(BadInput, BaseCasesSucceed) {
  for (const Folder& files : {layout1(), layout0()}) {
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
