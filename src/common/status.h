// Status: the outcome of an operation that can fail.  Errors travel up as
// values to the run driver, which prints the one message and sets the exit
// status; nothing below it prints or exits.
//
// A failure has a kind besides its message, for callers that answer each
// kind in their own way (the Python module raises FileNotFoundError,
// OSError or ValueError): the data were wrong (the default), or a file could
// not be opened, read or written, with the system's error number when there
// is one.
//   Status::Error("t.csv:3:5: expected a number, found \"x\"")   -> kData
//   file_error("t.csv", "cannot open", ENOENT)                    -> kFileNotFound, ENOENT
//   file_error("out.csv", "cannot write", ENOSPC)                 -> kFile, ENOSPC
#ifndef MORVANTIDE_COMMON_STATUS_H_
#define MORVANTIDE_COMMON_STATUS_H_

#include <string>
#include <utility>

namespace morvantide {

class Status {
 public:
  enum class Kind {
    kData,          // the input or the settings
    kFile,          // a file that exists (or a folder) could not be used
    kFileNotFound,  // a file, or the folder it would be in, does not exist
  };

  Status() = default;  // success
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message), Kind::kData, 0); }
  // A failure of a file; `system_error` is the errno (0 when none applies).
  static Status FileError(std::string message, Kind kind, int system_error) {
    return Status(std::move(message), kind, system_error);
  }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }
  Kind kind() const { return kind_; }
  int system_error() const { return system_error_; }
  // The same failure told in other words (a file's fault named with the
  // line that names the file): the kind and error number stay.
  // REQUIRES: !ok().
  Status retold(std::string message) const { return Status(std::move(message), kind_, system_error_); }

 private:
  Status(std::string message, Kind kind, int system_error)
      : failed_(true), kind_(kind), system_error_(system_error), message_(std::move(message)) {}
  bool failed_ = false;
  Kind kind_ = Kind::kData;
  int system_error_ = 0;
  std::string message_;
};

#define MORVANTIDE_RETURN_IF_ERROR(expr)         \
  do {                                           \
    ::morvantide::Status status_ = (expr);       \
    if (!status_.ok()) return status_;           \
  } while (0)

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_STATUS_H_
