// The descriptor-based files shared by the POSIX and the Windows DiskFiles:
// a file read a block at a time, a file written through a buffer and text
// held until it is written whole.  Only files.cc, files-posix.cc and
// files-win32.cc use this header.
#ifndef MORVANTIDE_COMMON_FILES_FD_H_
#define MORVANTIDE_COMMON_FILES_FD_H_

#include <functional>
#include <string>
#include <string_view>
#include <utility>

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

// Text held in memory until close() hands it to `finish` (a replacement
// written in one step).
class HeldText : public OutputFile {
 public:
  using Finish = std::function<Status(std::string_view text)>;
  explicit HeldText(Finish finish) : finish_(std::move(finish)) {}
  void write(std::string_view bytes) override { text_.append(bytes); }
  Status close() override { return finish_(text_); }

 private:
  Finish finish_;
  std::string text_;
};

// Writes all of `bytes` to the descriptor; false with errno set on failure.
bool write_all(int fd, std::string_view bytes);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_FILES_FD_H_
