// Files on POSIX systems.  Every descriptor is close-on-exec.  A file is
// opened with O_NONBLOCK and checked on its descriptor, so a FIFO cannot
// hold the open and a device is refused before it is read; a file's
// identity is its device and inode; names are compared as paths, letter
// case included, after following symbolic links.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "common/files.h"
#include "common/files_fd.h"
#include "common/paths.h"
#include "common/text.h"

namespace morvantide {

namespace {

Status not_regular(const std::string& name) {
  return Status::Error(printable(name) + ": not a regular file");
}

Status is_a_folder(const std::string& name) {
  return Status::Error(printable(name) + ": cannot open (it is a folder)");
}

// Refuses what is not a regular file; `st` describes the file.
Status regular(const std::string& name, const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return is_a_folder(name);
  if (!S_ISREG(st.st_mode)) return not_regular(name);
  return Status::Ok();
}

// Opens with `flags` (O_NONBLOCK and O_CLOEXEC added) a file that must be
// regular, checked on the descriptor; then blocking again.
Status open_regular(const std::string& name, int flags, const char* failing, int* fd) {
  struct stat st;
  // A special file is refused without being opened at all (opening some
  // devices already does something), and then again on the descriptor.
  if (::stat(name.c_str(), &st) == 0) MORVANTIDE_RETURN_IF_ERROR(regular(name, st));
  const int d = ::open(name.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (d < 0) {
    const int err = errno;
    // A FIFO without a reader (for writing) or a socket cannot be opened.
    if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return regular(name, st);
    return file_error(name, failing, err);
  }
  Status status = ::fstat(d, &st) == 0 ? regular(name, st) : file_error(name, failing, errno);
  // F_SETFL takes only the status flags: `flags` without O_NONBLOCK.
  if (status.ok() && fcntl(d, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    status = file_error(name, failing, errno);
  }
  if (!status.ok()) {
    ::close(d);
    return status;
  }
  *fd = d;
  return Status::Ok();
}

// The path a name reaches through its symbolic links, even when the last
// target does not exist (then the file that writing would create).
std::string follow_links(const std::string& name) {
  std::string path = name;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    // A link that changed between the two looks is left as it is.
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
    target.resize(static_cast<size_t>(n));
    path = target[0] == '/' ? target : append_path(parent_path(path), target);
  }
  return path;
}

// The folder a file is in ("." for a bare name).
std::string folder_of(const std::string& path) {
  const std::string parent = parent_path(path);
  return parent.empty() ? "." : parent;
}

class FlockHeld : public FolderLock {
 public:
  explicit FlockHeld(int fd) : fd_(fd) {}
  ~FlockHeld() override { ::close(fd_); }

 private:
  int fd_;
};

}  // namespace

Status DiskFiles::open(const std::string& name, std::unique_ptr<InputFile>* in) {
  int fd = -1;
  MORVANTIDE_RETURN_IF_ERROR(open_regular(name, O_RDONLY, "cannot open", &fd));
  *in = std::make_unique<FdInputFile>(name, fd);
  return Status::Ok();
}

Status DiskFiles::create(const std::string& name, std::unique_ptr<OutputFile>* out) {
  int fd = -1;
  // Emptied by the open once the name was seen to be a regular file (or no
  // file); should something else have taken its place since, O_TRUNC leaves
  // FIFOs and devices alone and the check on the descriptor refuses them.
  MORVANTIDE_RETURN_IF_ERROR(
      open_regular(name, O_WRONLY | O_CREAT | O_TRUNC, "cannot create", &fd));
  *out = std::make_unique<FdOutputFile>(name, fd);
  return Status::Ok();
}

Status DiskFiles::replace(const std::string& name, std::string_view content) {
  // Through a link, the file it leads to is replaced and the link stays.
  const std::string target = follow_links(name);
  struct stat st;
  mode_t mode;
  if (::stat(target.c_str(), &st) == 0) {
    MORVANTIDE_RETURN_IF_ERROR(regular(name, st));
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return file_error(name, "cannot write", errno);
  // No fsync: the rename happens only after every byte was written and the
  // file closed without error, so a failed write, a size limit or a crash of
  // this program leaves the old template as it was; against a crash of the
  // whole system the file systems in use (ext4, xfs, btrfs) flush the new
  // data before a rename that replaces a file.  An fsync would cost more
  // than the rest of a small run.
  int err = 0;
  if (::fchmod(fd, mode) != 0 || !write_all(fd, content)) err = errno ? errno : EIO;
  if (::close(fd) != 0 && err == 0) err = errno ? errno : EIO;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return file_error(name, "cannot write", err);
  }
  return Status::Ok();
}

Status DiskFiles::check_writable(const std::string& name, bool replaced) {
  struct stat st;
  // Most outputs are plain files: then the one look at the name serves.
  const bool plain = ::lstat(name.c_str(), &st) == 0 && !S_ISLNK(st.st_mode);
  const std::string target = plain ? name : follow_links(name);
  if (plain || ::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return not_regular(name);
    if (::access(target.c_str(), W_OK) != 0) return file_error(name, "cannot write", errno);
    if (replaced && ::access(folder_of(target).c_str(), W_OK) != 0) {
      return file_error(name, "cannot write", errno);
    }
    return Status::Ok();
  }
  if (::access(folder_of(target).c_str(), W_OK) != 0) return file_error(name, "cannot create", errno);
  return Status::Ok();
}

Status DiskFiles::lock(const std::string& name, std::unique_ptr<FolderLock>* held) {
  held->reset();
  // Only a regular file is held: a special file is not opened at all
  // (opening some devices already does something); reading it says why.
  struct stat st;
  if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Status::Ok();
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Status::Ok();
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
      return Status::Error(printable(name) + ": another run is using this folder");
    }
    return Status::Ok();  // no locks on this file system
  }
  *held = std::make_unique<FlockHeld>(fd);
  return Status::Ok();
}

bool DiskFiles::is_folder(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DiskFiles::exists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
}

std::string DiskFiles::identity(const std::string& name) {
  bool folder = false;
  return identity_of(name, &folder);
}

std::string DiskFiles::identity_of(const std::string& name, bool* folder) {
  struct stat st;
  *folder = false;
  if (::stat(name.c_str(), &st) != 0) return std::string();
  *folder = S_ISDIR(st.st_mode);
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

std::string DiskFiles::name_key(const std::string& name) {
  return Files::name_key(follow_links(name));
}

}  // namespace morvantide
