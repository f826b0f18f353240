// The files on disk: the hold on the control file, and the order of the
// checks before the first write.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "run/options.h"
#include "run_testing.h"

namespace morvantide {
namespace {

namespace fs = std::filesystem;

// A scratch folder, the current directory while it lives.
struct ScratchFolder {
  fs::path root;
  fs::path previous;
  ScratchFolder() {
    char name[] = "/tmp/morvantide_files_XXXXXX";
    root = mkdtemp(name);
    previous = fs::current_path();
    fs::current_path(root);
  }
  ~ScratchFolder() {
    fs::current_path(previous);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

void put(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

// Plain files, links of every kind, a folder and a FIFO.
void lay_out_names() {
  put("plain.txt", "abc\r\n");
  put("empty.txt", "");
  fs::create_directory("pasta");
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  fs::create_symlink("plain.txt", "to_plain");
  fs::create_symlink("nowhere.txt", "dangling");
  fs::create_symlink("/dev/null", "to_device");
  fs::create_symlink("pasta", "to_folder");
  fs::create_symlink("loop_b", "loop_a");
  fs::create_symlink("loop_a", "loop_b");
  fs::create_symlink("to_plain", "to_link");
}

// Whether another open file of `name` (a file or a folder) can take even a
// shared hold on it now.
bool shared_hold_possible(const std::string& name) {
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool taken = flock(fd, LOCK_SH | LOCK_NB) == 0;
  close(fd);
  return taken;
}

// The hold on the control file opens only a regular file: a FIFO, a device
// or a folder is left unopened (reading it then says why).  A hold is
// exclusive on the file and on its folder: no other hold, not even a shared
// one, and no second run, until it is released.
TEST(DiskFilesLock, HoldsOnlyARegularFile) {
  ScratchFolder scratch;
  lay_out_names();
  struct Case {
    const char* name;
    bool held;
  } cases[] = {
      {"plain.txt", true}, {"empty.txt", true},  {"to_plain", true},     {"to_link", true},
      {"fifo", false},     {"to_device", false}, {"pasta", false},       {"to_folder", false},
      {"missing.txt", false}, {"dangling", false}, {"loop_a", false},
  };
  DiskFiles disk;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<FolderLock> held;
    ASSERT_TRUE(disk.lock(c.name, &held).ok());
    EXPECT_EQ(held != nullptr, c.held);
    if (c.held) {
      EXPECT_FALSE(shared_hold_possible(c.name));
      EXPECT_FALSE(shared_hold_possible("."));
      std::unique_ptr<FolderLock> second;
      EXPECT_EQ(disk.lock(c.name, &second).message(),
                std::string(c.name) + ": another run is using this folder");
      EXPECT_EQ(second, nullptr);
      held.reset();
      EXPECT_TRUE(shared_hold_possible(c.name));
      EXPECT_TRUE(shared_hold_possible("."));
    }
    if (std::string(c.name) == "fifo") {
      // No reader holds the FIFO open: a writer finds none.
      const int w = open("fifo", O_WRONLY | O_NONBLOCK);
      EXPECT_LT(w, 0);
      EXPECT_EQ(errno, ENXIO);
      if (w >= 0) close(w);
    }
  }
}

// A run in a folder with no control file holds the folder alone, as
// exclusively; with one, through it.  Either refuses a second run.
// Through files rooted at another folder (--output-dir), that folder is
// held and the current one is not.
TEST(DiskFilesLock, FolderHeldAloneOrThroughTheControlFile) {
  struct Case {
    const char* folder;   // where the run's files are
    const char* control;  // written first unless nullptr
    const char* refusal;
  } cases[] = {
      {".", nullptr, "out: another run is using this folder"},
      {".", "Morvantide_4p0.in", "Morvantide_4p0.in: another run is using this folder"},
      {"sub", nullptr, "out: another run is using this folder"},
      {"sub", "Morvantide_4p0.in", "sub/Morvantide_4p0.in: another run is using this folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " " + (c.control ? c.control : "no control file"));
    ScratchFolder scratch;
    fs::create_directory("sub");
    const std::string control = std::string(c.folder) + "/Morvantide_4p0.in";
    if (c.control) put(control, "1\r\n");
    DiskFiles disk;
    FolderFiles files(disk, c.folder);
    std::unique_ptr<FolderLock> held, second;
    ASSERT_TRUE(files.lock_folder("Morvantide_4p0.in", "out", &held).ok());
    ASSERT_NE(held, nullptr);
    EXPECT_FALSE(shared_hold_possible(c.folder));
    if (std::string(c.folder) != ".") {
      EXPECT_TRUE(shared_hold_possible("."));
    }
    if (c.control) {
      EXPECT_FALSE(shared_hold_possible(control));
    }
    EXPECT_EQ(files.lock_folder("Morvantide_4p0.in", "out", &second).message(), c.refusal);
    EXPECT_EQ(second, nullptr);
    held.reset();
    EXPECT_TRUE(files.lock_folder("Morvantide_4p0.in", "out", &second).ok());
    EXPECT_NE(second, nullptr);
  }
}

// A name of the run in its folder, as the files beneath know it: relative
// names joined to the folder, absolute ones and those of the current folder
// unchanged; what is written lands there.
TEST(FolderFiles, NamesTakenInTheFolder) {
  const struct {
    const char* folder;
    const char* name;
    const char* path;
  } cases[] = {
      {"out", "a.txt", "out/a.txt"},   {"out/", "a.txt", "out/a.txt"},
      {"a/b", "../c.txt", "a/b/../c.txt"}, {".", "a.txt", "a.txt"},
      {"", "a.txt", "a.txt"},          {"out", "/abs/a.txt", "/abs/a.txt"},
  };
  for (const auto& c : cases) {
    MemoryFiles memory;
    FolderFiles files(memory, c.folder);
    EXPECT_EQ(files.path(c.name), c.path) << c.folder << " " << c.name;
    ASSERT_TRUE(write_whole_file(files, c.name, "x").ok());
    EXPECT_TRUE(memory.exists(c.path) && files.exists(c.name)) << c.path;
    EXPECT_EQ(files.identity(c.name), memory.identity(c.path));
  }
}

// Memory files where chosen outputs cannot be written; every check_writable
// is kept with its `replaced`.
class UnwritableFiles : public MemoryFiles {
 public:
  std::vector<std::string> refused;
  std::map<std::string, bool> asked;  // name -> replaced
  Status check_writable(const std::string& name, bool replaced) override {
    asked[name] = replaced;
    for (const std::string& r : refused) {
      if (r == name) return Status::Error(name + ": cannot write (Permission denied)");
    }
    return Status::Ok();
  }
};

MemoryFiles small_study(const std::string& listing) {
  MemoryFiles f;
  f.contents["Morvantide_4p0.in"] = "1\r\nparam_n.txt\r\nparam1.txt\r\n";
  f.contents["param1.txt"] = "1\r\n" + listing +
                             "\r\n2\r\n1\r\n1\r\n50\r\n1.0E-12\r\n0.5\r\n5.0\r\n4\r\ndados.txt\r\nT\r\n";
  f.contents["dados.txt"] = "h v\r\n1 2.0\r\n0.5 1.25\r\n0.25 1.0625\r\n0.125 1.015625\r\n";
  return f;
}

// A file that cannot be used says which kind of failure it is (missing, or
// another fault of the file, with the system's error number) while its
// message stays word for word; a fault of the data is kData.
TEST(FileFailures, CarryTheirKindAndErrorNumber) {
  ScratchFolder scratch;
  lay_out_names();
  using Kind = Status::Kind;
  DiskFiles disk;
  auto read = [&](const char* name) {
    return [&disk, name] {
      std::string content;
      return disk.read(name, &content);
    };
  };
  auto create = [&](const char* name) {
    return [&disk, name] {
      std::unique_ptr<OutputFile> out;
      return disk.create(name, &out);
    };
  };
  MemoryFiles missing_parameters = small_study("lista.txt");
  missing_parameters.contents.erase("param1.txt");
  MemoryFiles bad_data = small_study("lista.txt");
  bad_data.contents["dados.txt"] = "h v\r\n1 2.0\r\n0.5 x\r\n";
  struct Case {
    const char* what;
    std::function<Status()> act;
    Kind kind;
    int error;
    std::string message;
  } cases[] = {
      {"missing file", read("none.txt"), Kind::kFileNotFound, ENOENT,
       "none.txt: cannot open (No such file or directory)"},
      {"dangling link", read("dangling"), Kind::kFileNotFound, ENOENT,
       "dangling: cannot open (No such file or directory)"},
      {"folder", read("pasta"), Kind::kFile, EISDIR, "pasta: cannot open (it is a folder)"},
      {"FIFO", read("fifo"), Kind::kFile, 0, "fifo: not a regular file"},
      {"device", read("to_device"), Kind::kFile, 0, "to_device: not a regular file"},
      {"link loop", read("loop_a"), Kind::kFile, ELOOP,
       "loop_a: cannot open (Too many levels of symbolic links)"},
      {"a file taken for a folder", read("plain.txt/x"), Kind::kFile, ENOTDIR,
       "plain.txt/x: cannot open (Not a directory)"},
      {"create in a missing folder", create("nowhere/x.txt"), Kind::kFileNotFound, ENOENT,
       "nowhere/x.txt: cannot create (No such file or directory)"},
      {"replace in a missing folder", [&] { return disk.replace("nowhere/x.txt", "a"); },
       Kind::kFileNotFound, ENOENT, "nowhere/x.txt: cannot write (No such file or directory)"},
      {"check a new file of a missing folder",
       [&] { return disk.check_writable("nowhere/x.txt", true); }, Kind::kFileNotFound, ENOENT,
       "nowhere/x.txt: cannot create (No such file or directory)"},
      {"check a file under a file", [&] { return disk.check_writable("plain.txt/x", false); },
       Kind::kFile, ENOTDIR, "plain.txt/x: cannot create (Not a directory)"},
      {"missing file in memory",
       [] {
         MemoryFiles memory;
         std::string content;
         return memory.read("none.txt", &content);
       },
       Kind::kFileNotFound, ENOENT, "none.txt: cannot open (No such file or directory)"},
      {"a missing file named in another keeps its kind",
       [&] { return run_on(missing_parameters, Options()); }, Kind::kFileNotFound, ENOENT,
       "Morvantide_4p0.in:3: param1.txt: cannot open (No such file or directory)"},
      {"bad data", [&] { return run_on(bad_data, Options()); }, Kind::kData, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Status status = c.act();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.kind(), c.kind);
    EXPECT_EQ(status.system_error(), c.error);
    if (!c.message.empty()) {
      EXPECT_EQ(status.message(), c.message);
    }
  }
  EXPECT_EQ(Status::Error("x").kind(), Kind::kData);
}

// The checks before the first write: a clash is told before an output that
// cannot be written, and of those the first in the order of the outputs
// (listing, plot files, plot scripts, report files).
TEST(OutputChecks, ClashesFirstThenTheFirstUnwritableOutput) {
  struct Case {
    const char* what;
    std::string listing;
    std::vector<std::string> args;
    std::vector<std::string> refused;
    std::string message;  // empty: the run succeeds
  } cases[] = {
      {"none refused", "lista.txt", {}, {}, ""},
      {"clash before an unwritable listing", "dados.txt", {}, {"dados.txt", "p0.dat"},
       "the listing \"dados.txt\" would overwrite the result file \"dados.txt\"; rename one of them"},
      {"report clash before an unwritable plot file", "lista.txt", {"--json", "lista.txt"},
       {"U_13.dat"},
       "the listing \"lista.txt\" is the same file as the report file \"lista.txt\"; rename the "
       "listing"},
      {"listing before plot files", "lista.txt", {}, {"U_15.dat", "lista.txt"},
       "lista.txt: cannot write (Permission denied)"},
      {"plot data before plot scripts", "lista.txt", {}, {"Morvantide_4p0_pU.gnu", "pU_mer.dat"},
       "pU_mer.dat: cannot write (Permission denied)"},
      {"plot scripts before report files", "lista.txt", {"--csv", "r.csv"},
       {"r.csv", "Morvantide_4p0_U.gnu"}, "Morvantide_4p0_U.gnu: cannot write (Permission denied)"},
      {"least-squares script after the classic ones", "lista.txt", {"--plot-least-squares"},
       {"Morvantide_4p0_U_LS.gnu", "U_LS.dat"}, "U_LS.dat: cannot write (Permission denied)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UnwritableFiles files;
    files.contents = small_study(c.listing).contents;
    files.refused = c.refused;
    Options options;
    ASSERT_TRUE(parse_options(c.args, &options).ok());
    const Status status = run_on(files, options);
    EXPECT_EQ(status.ok() ? "" : status.message(), c.message);
    if (!status.ok()) {
      // Nothing written: the inputs are all there is.
      EXPECT_EQ(files.contents, small_study(c.listing).contents);
    }
    if (c.message.empty()) {
      // The plot scripts are replaced whole; the listing and data files not.
      EXPECT_TRUE(files.asked.at("Morvantide_4p0_pU.gnu"));
      EXPECT_TRUE(files.asked.at("Morvantide_4p0_U.gnu"));
      EXPECT_FALSE(files.asked.at("lista.txt"));
      EXPECT_FALSE(files.asked.at("p0.dat"));
      EXPECT_EQ(files.asked.size(), 15u);
    }
  }
}

}  // namespace
}  // namespace morvantide
