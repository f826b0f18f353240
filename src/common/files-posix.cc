// Files on POSIX systems.  Every descriptor is close-on-exec.  A file is
// opened with O_NONBLOCK and checked on its descriptor, so a FIFO cannot
// hold the open and a device is refused before it is read; a file's
// identity is its device and inode; names are compared as paths, letter
// case included, after following symbolic links.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/files.h"
#include "common/files_fd.h"
#include "common/paths.h"
#include "common/text.h"

namespace morvantide {

namespace {

Status not_regular(const std::string& name) {
  return Status::FileError(printable(name) + ": not a regular file", Status::Kind::kFile, 0);
}

Status is_a_folder(const std::string& name) {
  return Status::FileError(printable(name) + ": cannot open (it is a folder)", Status::Kind::kFile,
                           EISDIR);
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
  FlockHeld(int fd, int folder) : fd_(fd), folder_(folder) {}
  ~FlockHeld() override {
    ::close(fd_);
    if (folder_ >= 0) ::close(folder_);
  }

 private:
  int fd_;
  int folder_;  // -1 when the folder could not be opened
};

// The temporary files of a replacement: "morvantide-XXXXXX.tmp" in the folder
// of the file replaced, X a letter or a digit.
constexpr char kTemporaryPrefix[] = "morvantide-";
constexpr char kTemporarySuffix[] = ".tmp";

bool is_temporary_name(std::string_view name) {
  const size_t prefix = std::strlen(kTemporaryPrefix);
  const size_t suffix = std::strlen(kTemporarySuffix);
  if (name.size() != prefix + 6 + suffix || name.substr(0, prefix) != kTemporaryPrefix ||
      name.substr(prefix + 6) != kTemporarySuffix) {
    return false;
  }
  for (char c : name.substr(prefix, 6)) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// The temporary files being written, removed by a signal that ends the
// run (SIGTERM, SIGHUP, SIGINT).  Slots are taken and released with those
// signals blocked, so the handler never sees half a name.
constexpr int kTemporarySlots = 8;
char g_temporary[kTemporarySlots][PATH_MAX];
volatile sig_atomic_t g_temporary_used[kTemporarySlots];
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGINT};

void remove_temporaries_and_end(int sig) {
  for (int k = 0; k < kTemporarySlots; ++k) {
    if (g_temporary_used[k]) ::unlink(g_temporary[k]);
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

int hold_temporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int k = 0; k < kTemporarySlots; ++k) {
    if (g_temporary_used[k]) continue;
    std::memcpy(g_temporary[k], path.c_str(), path.size() + 1);
    g_temporary_used[k] = 1;
    return k;
  }
  return -1;
}

void release_temporary(int slot) {
  if (slot >= 0) g_temporary_used[slot] = 0;
}

// A file written under a temporary name and renamed over `target` when
// closed without error; with no temporary name, `target` itself, written
// from its start and cut to what was written.  A temporary file not
// renamed is removed.
//
// The temporary file is held (flock) from its creation until it is renamed
// or removed, through a second descriptor that outlives the first's close:
// another run's removal of stray temporaries passes over a file held.
class DiskReplacement : public OutputFile {
 public:
  DiskReplacement(std::string name, std::string target, std::string temp, int fd)
      : name_(std::move(name)), target_(std::move(target)), temp_(std::move(temp)), fd_(fd) {}
  ~DiskReplacement() override {
    if (fd_ >= 0) ::close(fd_);
    drop_temporary();
    release_hold();
  }
  // Holds the temporary file; false when it is no longer the file its name
  // gives (removed by a run that took it for a stray before it was held).
  bool hold() {
    hold_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (hold_ < 0 || ::flock(hold_, LOCK_EX | LOCK_NB) != 0) return true;  // no locks here
    struct stat by_name, held;
    return ::lstat(temp_.c_str(), &by_name) == 0 && ::fstat(hold_, &held) == 0 &&
           by_name.st_dev == held.st_dev && by_name.st_ino == held.st_ino;
  }
  // Forgets the temporary file without removing it (it is another's now).
  void abandon() {
    SignalsBlocked blocked;
    release_temporary(slot_);
    slot_ = -1;
    temp_.clear();
  }
  void write(std::string_view bytes) override {
    if (fd_ < 0 || error_ != 0) return;
    pending_.append(bytes);
    written_ += bytes.size();
    if (pending_.size() >= InputFile::kBlockSize) write_out();
  }
  Status flush() override {
    write_out();
    return failure();
  }
  Status close() override {
    if (fd_ < 0) return already_closed(name_);
    write_out();
    if (error_ == 0 && temp_.empty() && ::ftruncate(fd_, static_cast<off_t>(written_)) != 0) {
      error_ = errno;
    }
    if (::close(fd_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
    fd_ = -1;
    if (error_ == 0 && !temp_.empty()) {
      SignalsBlocked blocked;
      if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
      } else {
        release_temporary(slot_);
        slot_ = -1;
        temp_.clear();
      }
    }
    drop_temporary();
    release_hold();
    return failure();
  }
  // REQUIRES: the ending signals are blocked.
  void take_slot() { slot_ = hold_temporary(temp_); }
  int descriptor() const { return fd_; }

 private:
  void write_out() {
    if (error_ == 0 && fd_ >= 0 && !write_all(fd_, pending_)) error_ = errno ? errno : EIO;
    pending_.clear();
  }
  Status failure() const {
    if (error_ != 0) return file_error(name_, "cannot write", error_);
    return Status::Ok();
  }
  void drop_temporary() {
    if (temp_.empty()) return;
    SignalsBlocked blocked;
    ::unlink(temp_.c_str());
    release_temporary(slot_);
    slot_ = -1;
    temp_.clear();
  }

  void release_hold() {
    if (hold_ >= 0) ::close(hold_);
    hold_ = -1;
  }

  std::string name_, target_, temp_;
  int fd_;
  int hold_ = -1;  // a second descriptor of the temporary file, which holds it
  int slot_ = -1;
  std::string pending_;
  size_t written_ = 0;
  int error_ = 0;
};

Status rewrite_in_place(const std::string& name, const std::string& target,
                        std::unique_ptr<OutputFile>* out) {
  int fd = -1;
  MORVANTIDE_RETURN_IF_ERROR(open_regular(name, O_WRONLY, "cannot write", &fd));
  *out = std::make_unique<DiskReplacement>(name, target, std::string(), fd);
  return Status::Ok();
}

}  // namespace

void remove_temporaries_on_signals() {
  for (int sig : kEndingSignals) {
    struct sigaction old {};
    sigaction(sig, nullptr, &old);
    // A signal ignored from the start (nohup) stays ignored.
    if (old.sa_handler == SIG_IGN) continue;
    struct sigaction on {};
    on.sa_handler = remove_temporaries_and_end;
    sigemptyset(&on.sa_mask);
    for (int other : kEndingSignals) sigaddset(&on.sa_mask, other);
    sigaction(sig, &on, nullptr);
  }
}

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

Status DiskFiles::create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out) {
  // Through a link, the file it leads to is replaced and the link stays.
  const std::string target = follow_links(name);
  struct stat st;
  const bool existing = ::stat(target.c_str(), &st) == 0;
  mode_t mode;
  if (existing) {
    MORVANTIDE_RETURN_IF_ERROR(regular(name, st));
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  // A file with other names (hard links) stays one file: it is rewritten
  // where it is.
  if (existing && st.st_nlink > 1) return rewrite_in_place(name, target, out);
  const std::string pattern =
      append_path(folder_of(target) == "." ? std::string() : folder_of(target),
                  kTemporaryPrefix + std::string("XXXXXX") + kTemporarySuffix);
  std::unique_ptr<DiskReplacement> file;
  // A run that removes strays between the creation and the hold takes this
  // file with them: then another is made.
  for (int attempt = 0; !file; ++attempt) {
    std::string temp = pattern;
    {
      // Created and listed for the signal handler in one step.
      SignalsBlocked blocked;
      const int fd =
          mkostemps(temp.data(), static_cast<int>(std::strlen(kTemporarySuffix)), O_CLOEXEC);
      if (fd < 0) return file_error(name, "cannot write", errno);
      file = std::make_unique<DiskReplacement>(name, target, temp, fd);
      file->take_slot();
    }
    if (!file->hold() && attempt < 8) {
      file->abandon();
      file.reset();
    }
  }
  const int fd = file->descriptor();
  // The new file keeps the owner, group and permissions of the old one;
  // where the system does not let this user give it that owner (a folder
  // shared by a group), the file is rewritten in place, which keeps them.
  if (existing && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
    if (errno != EPERM) return file_error(name, "cannot write", errno);
    file.reset();
    return rewrite_in_place(name, target, out);
  }
  // After fchown, which may clear the set-user and set-group bits.
  if (::fchmod(fd, mode) != 0) return file_error(name, "cannot write", errno);
  *out = std::move(file);
  return Status::Ok();
}

void DiskFiles::remove_stray_temporaries(const std::string& name) {
  const std::string folder = folder_of(follow_links(name));
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const uid_t self = ::geteuid();
  while (const dirent* e = ::readdir(dir)) {
    if (!is_temporary_name(e->d_name)) continue;
    const std::string path = folder == "." ? std::string(e->d_name) : append_path(folder, e->d_name);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != self) continue;
    // A temporary file another run holds is being written: it stays.  One
    // that cannot be held (no locks there) may be live too, and stays.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
        held.st_dev == st.st_dev && held.st_ino == st.st_ino) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
  ::closedir(dir);
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
  // A new file: its folder must exist and be a folder, the name must fit.
  const std::string folder = folder_of(target);
  struct stat folder_st;
  if (::stat(folder.c_str(), &folder_st) != 0) return file_error(name, "cannot create", errno);
  if (!S_ISDIR(folder_st.st_mode)) return file_error(name, "cannot create", ENOTDIR);
  const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::string base = target.substr(target.find_last_of('/') + 1);
  if ((longest > 0 && base.size() > static_cast<size_t>(longest)) || target.size() >= PATH_MAX) {
    return file_error(name, "cannot create", ENAMETOOLONG);
  }
  if (::access(folder.c_str(), W_OK) != 0) return file_error(name, "cannot create", errno);
  return Status::Ok();
}

std::string DiskFiles::standard_output_identity() {
  struct stat st;
  if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

Status DiskFiles::lock(const std::string& name, std::unique_ptr<FolderLock>* held) {
  held->reset();
  // Only a regular file is held: a special file is not opened at all
  // (opening some devices already does something); reading it says why.
  struct stat st;
  if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Status::Ok();
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Status::Ok();
  // The folder too: an editor that saves by renaming a new file over the
  // control file leaves the old file's hold behind with the old file.
  const int folder = ::open(folder_of(follow_links(name)).c_str(),
                            O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  int err = 0;
  for (int d : {fd, folder}) {
    if (err == 0 && d >= 0 && ::flock(d, LOCK_EX | LOCK_NB) != 0) err = errno;
  }
  if (err != 0) {
    ::close(fd);
    if (folder >= 0) ::close(folder);
    if (err == EWOULDBLOCK) {
      return Status::Error(printable(name) + ": another run is using this folder");
    }
    return Status::Ok();  // no locks on this file system
  }
  *held = std::make_unique<FlockHeld>(fd, folder);
  return Status::Ok();
}

Status DiskFiles::lock_folder(const std::string& control, const std::string& folder_name,
                              std::unique_ptr<FolderLock>* held) {
  held->reset();
  MORVANTIDE_RETURN_IF_ERROR(lock(control, held));
  if (*held) return Status::Ok();
  // No control file: the folder alone.
  const int folder = ::open(folder_of(control).c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (folder < 0) return Status::Ok();
  if (::flock(folder, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(folder);
    if (err == EWOULDBLOCK) {
      return Status::Error(printable(folder_name) + ": another run is using this folder");
    }
    return Status::Ok();  // no locks on this file system
  }
  *held = std::make_unique<FlockHeld>(folder, -1);
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

std::string Files::name_key(const std::string& name) {
  const std::string key = absolute_normal(name);
  return key.empty() ? name : key;
}

std::string DiskFiles::name_key(const std::string& name) {
  return Files::name_key(follow_links(name));
}

}  // namespace morvantide
