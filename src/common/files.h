// Where a run reads and writes its files.  The run works through this
// interface only, so tests and the fuzzers can run it on texts held in
// memory; DiskFiles is the one used by the program.
//
// Every file is handled as bytes: what is read is the file's exact content,
// what is written goes out unchanged (callers supply the CR LF line ends).
// Names in messages are shown with printable() (common/text.h).
#ifndef MORVANTIDE_COMMON_FILES_H_
#define MORVANTIDE_COMMON_FILES_H_

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "common/status.h"

namespace morvantide {

// A file being read from its start, a block at a time, so that a reader
// that needs only the first lines of a huge file reads only those.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Appends the next bytes of the file to *buffer (at most kBlockSize per
  // call); sets *end, appending nothing, once the file is exhausted.
  // Error: "NAME: cannot read (REASON)".
  virtual Status read_block(std::string* buffer, bool* end) = 0;

  static constexpr size_t kBlockSize = 65536;
};

// A file being written.  A write error is remembered and reported by
// flush() and close().
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void write(std::string_view bytes) = 0;
  // Hands what was written so far to the system; reports the first write
  // error so far ("NAME: cannot write (REASON)").  The file stays open.
  virtual Status flush() { return Status::Ok(); }
  virtual Status close() = 0;
};

// An exclusive hold on a folder for one run, released when destroyed.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

class Files {
 public:
  virtual ~Files() = default;
  // Reads the whole file.  Errors: "NAME: cannot open (REASON)",
  // "NAME: cannot open (it is a folder)", "NAME: not a regular file".
  virtual Status read(const std::string& name, std::string* content) = 0;
  // Opens the file to be read block by block; the same errors as read().
  // By default the whole file is read at once.
  virtual Status open(const std::string& name, std::unique_ptr<InputFile>* in);
  // Creates (or empties) the file and opens it for writing.
  virtual Status create(const std::string& name, std::unique_ptr<OutputFile>* out) = 0;
  // Opens a file that replaces the whole content of `name` in one step
  // when closed without error: until then, and after any failure, `name`
  // keeps its old content, never a part of the new one (on disk a
  // temporary file in the same folder, renamed over it when complete and
  // removed on failure).  By default the text is held in memory and
  // written with create() by close().
  virtual Status create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out);
  // The whole of `content` as the file's, in one step: create_replacing(),
  // write, close.
  Status replace(const std::string& name, std::string_view content);
  // Removes what an interrupted replacement of `name` may have left beside
  // it (its temporary files).  REQUIRES: the folder's lock is held.
  virtual void remove_stray_temporaries(const std::string&) {}
  // Checks, before anything is written, that the file can be written: an
  // existing file must be a regular file the user may write ("NAME: not a
  // regular file", "NAME: cannot write (REASON)"), a new one a name the
  // user may create: its folder exists, is a folder and takes new files,
  // and no part of the name is too long ("NAME: cannot create (REASON)").
  // With `replaced`, the folder must take the temporary file of a
  // replacement too.
  virtual Status check_writable(const std::string&, bool /*replaced*/) { return Status::Ok(); }
  // The identity (as identity() gives it) of the file standard output
  // writes to, empty when it is no file of a folder (a terminal, a pipe).
  virtual std::string standard_output_identity() { return std::string(); }
  // Checks, before anything is written, that standard output can take the
  // text of the run: one closed when the process started cannot
  // ("standard output: cannot write (Bad file descriptor)").
  virtual Status check_standard_output() { return Status::Ok(); }
  // Holds `name` (an existing file) and its folder exclusively until *held
  // is destroyed: a second run on the same file, or in the same folder, is
  // refused at once with "NAME: another run is using this folder".  The
  // folder's hold outlives an editor that saves `name` by writing a new
  // file and renaming it over the old one.  Sets *held to nothing, with
  // success, when the file cannot be opened (reading it will say why) or
  // the system offers no locks there.
  virtual Status lock(const std::string&, std::unique_ptr<FolderLock>* held) {
    held->reset();
    return Status::Ok();
  }
  // Holds the folder of `control` (the current folder for a bare name) for
  // one run writing into it, as lock(control) holds it when `control`
  // exists, and the folder alone when it does not:
  // a second run there (a data run, a classic one) is refused at once with
  // lock()'s message, or "FOLDER_NAME: another run is using this folder"
  // when the folder is held alone.  Success with *held set
  // to nothing where the system offers no locks.
  virtual Status lock_folder(const std::string& control, const std::string& folder_name,
                             std::unique_ptr<FolderLock>* held);
  virtual bool exists(const std::string& name) = 0;
  // True when the name is an existing folder (which no run can write).
  virtual bool is_folder(const std::string&) { return false; }
  // An identity of the file (device and inode on disk), empty when the file
  // does not exist.  Two names with the same non-empty identity are one file.
  virtual std::string identity(const std::string& name) = 0;
  // identity(name), and in *folder is_folder(name), from one look at it.
  virtual std::string identity_of(const std::string& name, bool* folder) {
    *folder = is_folder(name);
    return identity(name);
  }
  // For a file that does not exist yet: a key of its name, the same for two
  // names that would create one file.  Here the absolute path with "." and
  // ".." resolved; on disk also through symbolic links (a dangling link
  // creates its target), and on Windows without letter case and trailing
  // dots.
  virtual std::string name_key(const std::string& name);
};

// Makes SIGTERM, SIGHUP and SIGINT remove the temporary files of
// DiskFiles' replacements being written before they end the process (a
// signal ignored from the start stays ignored).  Nothing on Windows.
void remove_temporaries_on_signals();

// Writes `content` as the whole of the file `name`.
Status write_whole_file(Files& files, const std::string& name, std::string_view content);

// Files in the current directory of the process.  Every file is opened
// close-on-exec, so no program started by the run inherits it; only regular
// files are read or written (a FIFO, a device or a socket is refused before
// it can block the run or feed it endless bytes).
class DiskFiles : public Files {
 public:
  Status read(const std::string& name, std::string* content) override;
  Status open(const std::string& name, std::unique_ptr<InputFile>* in) override;
  Status create(const std::string& name, std::unique_ptr<OutputFile>* out) override;
  Status create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out) override;
  void remove_stray_temporaries(const std::string& name) override;
  Status check_writable(const std::string& name, bool replaced) override;
  std::string standard_output_identity() override;
  Status check_standard_output() override;
  Status lock(const std::string& name, std::unique_ptr<FolderLock>* held) override;
  Status lock_folder(const std::string& control, const std::string& folder_name,
                     std::unique_ptr<FolderLock>* held) override;
  bool exists(const std::string& name) override;
  bool is_folder(const std::string& name) override;
  std::string identity(const std::string& name) override;
  std::string identity_of(const std::string& name, bool* folder) override;
  std::string name_key(const std::string& name) override;
};

// `name` taken in `folder`: a relative name joined to it, an absolute name,
// and any name in "" or ".", unchanged.
//   path_in_folder("out", "a.txt") == "out/a.txt"   ("out/" alike)
//   path_in_folder(".", "a.txt") == "a.txt"   path_in_folder("out", "/a") == "/a"
std::string path_in_folder(const std::string& folder, const std::string& name);

// The files of `base` with every relative name taken in `folder` (a run's
// --output-dir): the run names its outputs as in the current folder and
// this object puts them in the folder, with no change of the process's
// current folder.  Absolute names, and every name when the folder is ""
// or ".", pass unchanged.  Messages name the file with its folder.
class FolderFiles : public Files {
 public:
  FolderFiles(Files& base, std::string folder) : base_(base), folder_(std::move(folder)) {}
  // `name` as `base` knows it: path_in_folder(folder, name).
  std::string path(const std::string& name) const { return path_in_folder(folder_, name); }

  Status read(const std::string& name, std::string* content) override;
  Status open(const std::string& name, std::unique_ptr<InputFile>* in) override;
  Status create(const std::string& name, std::unique_ptr<OutputFile>* out) override;
  Status create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out) override;
  void remove_stray_temporaries(const std::string& name) override;
  Status check_writable(const std::string& name, bool replaced) override;
  std::string standard_output_identity() override;
  Status check_standard_output() override;
  Status lock(const std::string& name, std::unique_ptr<FolderLock>* held) override;
  Status lock_folder(const std::string& control, const std::string& folder_name,
                     std::unique_ptr<FolderLock>* held) override;
  bool exists(const std::string& name) override;
  bool is_folder(const std::string& name) override;
  std::string identity(const std::string& name) override;
  std::string identity_of(const std::string& name, bool* folder) override;
  std::string name_key(const std::string& name) override;

 private:
  Files& base_;
  std::string folder_;
};

// Files held in memory, for tests and fuzzing.  Names are compared as given.
class MemoryFiles : public Files {
 public:
  std::map<std::string, std::string> contents;

  Status read(const std::string& name, std::string* content) override;
  Status create(const std::string& name, std::unique_ptr<OutputFile>* out) override;
  bool exists(const std::string& name) override { return contents.count(name) != 0; }
  std::string identity(const std::string& name) override {
    return exists(name) ? name : std::string();
  }
};

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_FILES_H_
