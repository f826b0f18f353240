// Status: the outcome of an operation that can fail.  Errors travel up as
// values to the run driver, which prints the one message and sets the exit
// status; nothing below it prints or exits.
#ifndef MORVANTIDE_COMMON_STATUS_H_
#define MORVANTIDE_COMMON_STATUS_H_

#include <string>
#include <utility>

namespace morvantide {

class Status {
 public:
  Status() = default;  // success
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}
  bool failed_ = false;
  std::string message_;
};

#define MORVANTIDE_RETURN_IF_ERROR(expr)         \
  do {                                           \
    ::morvantide::Status status_ = (expr);       \
    if (!status_.ok()) return status_;           \
  } while (0)

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_STATUS_H_
