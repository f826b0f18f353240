#include "common/console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace morvantide {

namespace {

bool g_closed_at_start = false;

}  // namespace

void mark_standard_output_closed() { g_closed_at_start = true; }

bool standard_output_closed() { return g_closed_at_start; }

StandardOutput::StandardOutput() { set_standard_output_binary(); }

void StandardOutput::write(std::string_view bytes) {
  if (error_ != 0 || bytes.empty()) return;
  if (g_closed_at_start) {
    error_ = EBADF;
    return;
  }
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
    error_ = errno != 0 ? errno : EIO;
  }
}

Status StandardOutput::flush() {
  if (error_ == 0) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) error_ = errno != 0 ? errno : EIO;
  }
  if (error_ != 0) {
    return Status::Error(std::string("standard output: cannot write (") + std::strerror(error_) +
                         ")");
  }
  return Status::Ok();
}

}  // namespace morvantide
