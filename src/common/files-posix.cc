// The identity of a file on POSIX systems: its device and inode.  Names
// are compared as paths, letter case included.
#include <sys/stat.h>

#include "common/files.h"

namespace morvantide {

std::string DiskFiles::identity(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return std::string();
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

}  // namespace morvantide
