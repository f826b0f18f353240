// The descriptor-based files shared by the POSIX and the Windows DiskFiles:
// a file read a block at a time and a file written through a buffer.  Only
// files-posix.cc and files-win32.cc use this header.
#ifndef MORVANTIDE_COMMON_FILES_FD_H_
#define MORVANTIDE_COMMON_FILES_FD_H_

#include <string>
#include <string_view>

#include "common/files.h"

namespace morvantide {

// "NAME: WHAT (REASON)", the name shown with printable(); a failure of a
// file (Status::Kind::kFileNotFound for ENOENT) with the error number err.
Status file_error(const std::string& name, const std::string& what, int err);

// "NAME: already closed".
Status already_closed(const std::string& name);

// Reads an open descriptor; closes it when destroyed.
class FdInputFile : public InputFile {
 public:
  FdInputFile(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}
  ~FdInputFile() override;
  Status read_block(std::string* buffer, bool* end) override;

 private:
  std::string name_;
  int fd_;
};

// Writes to an open descriptor through a buffer; closes it in close() (or
// when destroyed).  The first write error is kept and reported.
class FdOutputFile : public OutputFile {
 public:
  FdOutputFile(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}
  ~FdOutputFile() override;
  void write(std::string_view bytes) override;
  Status flush() override;
  Status close() override;

 private:
  void write_out();
  Status failure() const;

  std::string name_;
  int fd_;
  std::string pending_;
  int error_ = 0;
};

// Writes all of `bytes` to the descriptor; false with errno set on failure.
bool write_all(int fd, std::string_view bytes);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_FILES_FD_H_
