// Where a run reads and writes its files.  The run works through this
// interface only, so tests and the fuzzers can run it on texts held in
// memory; DiskFiles is the one used by the program.
//
// Every file is handled as bytes: what is read is the file's exact content,
// what is written goes out unchanged (callers supply the CR LF line ends).
#ifndef MORVANTIDE_COMMON_FILES_H_
#define MORVANTIDE_COMMON_FILES_H_

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "common/status.h"

namespace morvantide {

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

class Files {
 public:
  virtual ~Files() = default;
  // Reads the whole file.  Error: "NAME: cannot open (REASON)".
  virtual Status read(const std::string& name, std::string* content) = 0;
  // Creates (or empties) the file and opens it for writing.
  virtual Status create(const std::string& name, std::unique_ptr<OutputFile>* out) = 0;
  virtual bool exists(const std::string& name) = 0;
  // True when the name is an existing folder (which no run can write).
  virtual bool is_folder(const std::string&) { return false; }
  // An identity of the file (device and inode on disk), empty when the file
  // does not exist.  Two names with the same non-empty identity are one file.
  virtual std::string identity(const std::string& name) = 0;
  // For a file that does not exist yet: a key of its name, the same for two
  // names that would create one file.  Here the absolute path with "." and
  // ".." resolved; on Windows also without letter case and trailing dots.
  virtual std::string name_key(const std::string& name);
};

// Writes `content` as the whole of the file `name`.
Status write_whole_file(Files& files, const std::string& name, std::string_view content);

// Files in the current directory of the process.
class DiskFiles : public Files {
 public:
  Status read(const std::string& name, std::string* content) override;
  Status create(const std::string& name, std::unique_ptr<OutputFile>* out) override;
  bool exists(const std::string& name) override;
  bool is_folder(const std::string& name) override;
  std::string identity(const std::string& name) override;
#ifdef _WIN32
  std::string name_key(const std::string& name) override;
#endif
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
