// The files on disk: the shortcuts DiskFiles takes to spare system calls
// must come to what the separate looks say, and descriptors left
// non-blocking must still behave as blocking ones.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/files.h"
#include "common/files_fd.h"
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

// Plain files, links of every kind, a folder, a FIFO and missing names.
void lay_out_names() {
  put("plain.txt", "abc\r\n");
  put("empty.txt", "");
  put("big.txt", std::string(3 * InputFile::kBlockSize + 17, 'x'));
  fs::create_directory("pasta");
  put("pasta/dentro.txt", "d\r\n");
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  fs::create_symlink("plain.txt", "to_plain");
  fs::create_symlink("nowhere.txt", "dangling");
  fs::create_symlink("pasta/novo.txt", "dangling_in_folder");
  fs::create_symlink("/dev/null", "to_device");
  fs::create_symlink("pasta", "to_folder");
  fs::create_symlink("loop_b", "loop_a");
  fs::create_symlink("loop_a", "loop_b");
  fs::create_symlink("to_plain", "to_link");
}

const char* const kNames[] = {
    "plain.txt", "./plain.txt", "empty.txt", "missing.txt", "nao/existe.txt", "plain.txt/x",
    "pasta",     "pasta/dentro.txt", "fifo",  "to_plain",    "dangling",       "dangling_in_folder",
    "to_device", "to_folder",   "loop_a",    "to_link",     "/dev/null",      "big.txt",
};

TEST(DiskFilesLook, OneLookComesToWhatTheSeparateLooksSay) {
  ScratchFolder scratch;
  lay_out_names();
  DiskFiles disk;
  for (const bool written : {false, true}) {
    for (const bool replaced : {false, true}) {
      std::vector<Files::NameLook> fast, separate;
      for (const char* name : kNames) {
        Files::NameLook n;
        n.name = name;
        n.written = written;
        n.replaced = replaced;
        fast.push_back(n);
        separate.push_back(n);
      }
      disk.look(fast);
      disk.Files::look(separate);  // identity_of, name_key, check_writable one by one
      for (size_t k = 0; k < fast.size(); ++k) {
        SCOPED_TRACE(std::string(kNames[k]) + (written ? " written" : "") +
                     (replaced ? " replaced" : ""));
        EXPECT_EQ(fast[k].key, separate[k].key);
        EXPECT_EQ(fast[k].folder, separate[k].folder);
        EXPECT_EQ(fast[k].writable.ok(), separate[k].writable.ok());
        EXPECT_EQ(fast[k].writable.message(), separate[k].writable.message());
      }
    }
  }
}

TEST(DiskFilesLook, ReadIfExistsIsExistsThenRead) {
  ScratchFolder scratch;
  lay_out_names();
  DiskFiles disk;
  for (const char* name : kNames) {
    SCOPED_TRACE(name);
    bool found = false;
    std::string content = "left over";
    const Status status = disk.read_if_exists(name, &content, &found);
    EXPECT_EQ(found, disk.exists(name));
    if (!found) {
      EXPECT_TRUE(status.ok()) << status.message();
      continue;
    }
    std::string expected;
    const Status read = disk.read(name, &expected);
    EXPECT_EQ(status.ok(), read.ok());
    EXPECT_EQ(status.message(), read.message());
    if (read.ok()) {
      EXPECT_EQ(content, expected);
    }
  }
}

// The hold on the control file opens only a regular file: a FIFO, a device
// or a folder is left unopened (reading it then says why).
TEST(DiskFilesLock, HoldsOnlyARegularFile) {
  ScratchFolder scratch;
  lay_out_names();
  struct Case {
    const char* name;
    bool held;
  } cases[] = {
      {"plain.txt", true}, {"to_plain", true},    {"fifo", false},   {"to_device", false},
      {"pasta", false},    {"missing.txt", false}, {"dangling", false},
  };
  DiskFiles disk;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<FolderLock> held;
    ASSERT_TRUE(disk.lock(c.name, &held).ok());
    EXPECT_EQ(held != nullptr, c.held);
    if (std::string(c.name) == "fifo") {
      // No reader holds the FIFO open: a writer finds none.
      const int w = open("fifo", O_WRONLY | O_NONBLOCK);
      EXPECT_LT(w, 0);
      EXPECT_EQ(errno, ENXIO);
      if (w >= 0) close(w);
    }
  }
}

// Sends all of `bytes` on a socket; false once the other end is gone.
bool send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A descriptor the files left with O_NONBLOCK: reads and writes that would
// block wait instead of failing.  (A socket stands in for the rare
// regular-looking file that honours the flag.)
TEST(NonBlockingDescriptor, BehavesAsABlockingOne) {
  struct Case {
    const char* what;
    bool reading;
    size_t bytes;  // sent through the socket
  } cases[] = {
      {"read before the other end sent", true, 10},
      {"read of more than a block", true, 3 * InputFile::kBlockSize},
      {"write into a full socket", false, 40 * InputFile::kBlockSize + 5},
      {"small write", false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    const int ours = ends[0];
    const int theirs = ends[1];
    ASSERT_EQ(fcntl(ours, F_SETFL, fcntl(ours, F_GETFL) | O_NONBLOCK), 0);
    const std::string sent(c.bytes, 'q');
    std::string received;
    Status status;
    if (c.reading) {
      std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        send_all(theirs, sent);
        shutdown(theirs, SHUT_WR);
      });
      {
        FdInputFile in("socket", ours);
        for (bool end = false; !end && status.ok();) status = in.read_block(&received, &end);
      }  // closed: a sender left behind stops
      other.join();
    } else {
      std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        char block[4096];
        for (ssize_t n; (n = read(theirs, block, sizeof block)) > 0;) received.append(block, n);
      });
      FdOutputFile out("socket", ours);
      out.write(sent);
      status = out.close();
      other.join();
    }
    close(theirs);
    EXPECT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_EQ(received, sent);
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
