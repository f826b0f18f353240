#include "common/files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/console.h"
#include "common/files_fd.h"
#include "common/platform.h"
#include "common/text.h"

namespace morvantide {

Status write_whole_file(Files& files, const std::string& name, std::string_view content) {
  std::unique_ptr<OutputFile> out;
  MORVANTIDE_RETURN_IF_ERROR(files.create(name, &out));
  out->write(content);
  return out->close();
}

Status file_error(const std::string& name, const std::string& what, int err) {
  return Status::FileError(printable(name) + ": " + what + " (" + std::strerror(err) + ")",
                           err == ENOENT ? Status::Kind::kFileNotFound : Status::Kind::kFile,
                           err);
}

Status already_closed(const std::string& name) {
  return Status::FileError(printable(name) + ": already closed", Status::Kind::kFile, EBADF);
}

namespace {

// A whole text handed out a block at a time.
class TextInputFile : public InputFile {
 public:
  explicit TextInputFile(std::string text) : text_(std::move(text)) {}
  Status read_block(std::string* buffer, bool* end) override {
    const size_t n = std::min(kBlockSize, text_.size() - given_);
    *end = n == 0;
    buffer->append(text_, given_, n);
    given_ += n;
    return Status::Ok();
  }

 private:
  std::string text_;
  size_t given_ = 0;
};

class MemoryOutputFile : public OutputFile {
 public:
  explicit MemoryOutputFile(std::string* target) : target_(target) {}
  void write(std::string_view bytes) override { target_->append(bytes); }
  Status close() override { return Status::Ok(); }

 private:
  std::string* target_;
};

}  // namespace

Status Files::open(const std::string& name, std::unique_ptr<InputFile>* in) {
  std::string text;
  MORVANTIDE_RETURN_IF_ERROR(read(name, &text));
  *in = std::make_unique<TextInputFile>(std::move(text));
  return Status::Ok();
}

Status Files::replace(const std::string& name, std::string_view content) {
  std::unique_ptr<OutputFile> out;
  MORVANTIDE_RETURN_IF_ERROR(create_replacing(name, &out));
  out->write(content);
  return out->close();
}

Status Files::lock_folder(const std::string& control, const std::string&,
                         std::unique_ptr<FolderLock>* held) {
  return lock(control, held);
}

Status Files::create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out) {
  // Held until close(), then written whole with create().
  *out = std::make_unique<HeldText>(
      [this, name](std::string_view text) { return write_whole_file(*this, name, text); });
  return Status::Ok();
}

// --- files in a folder

std::string path_in_folder(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder == "." || name.empty() || is_absolute_path(name)) return name;
  const char last = folder.back();
  return folder + (last == '/' || last == '\\' ? "" : "/") + name;
}

Status FolderFiles::read(const std::string& name, std::string* content) {
  return base_.read(path(name), content);
}
Status FolderFiles::open(const std::string& name, std::unique_ptr<InputFile>* in) {
  return base_.open(path(name), in);
}
Status FolderFiles::create(const std::string& name, std::unique_ptr<OutputFile>* out) {
  return base_.create(path(name), out);
}
Status FolderFiles::create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out) {
  return base_.create_replacing(path(name), out);
}
void FolderFiles::remove_stray_temporaries(const std::string& name) {
  base_.remove_stray_temporaries(path(name));
}
Status FolderFiles::check_writable(const std::string& name, bool replaced) {
  return base_.check_writable(path(name), replaced);
}
std::string FolderFiles::standard_output_identity() { return base_.standard_output_identity(); }
Status FolderFiles::check_standard_output() { return base_.check_standard_output(); }
Status FolderFiles::lock(const std::string& name, std::unique_ptr<FolderLock>* held) {
  return base_.lock(path(name), held);
}
Status FolderFiles::lock_folder(const std::string& control, const std::string& folder_name,
                                std::unique_ptr<FolderLock>* held) {
  return base_.lock_folder(path(control), folder_name, held);
}
bool FolderFiles::exists(const std::string& name) { return base_.exists(path(name)); }
bool FolderFiles::is_folder(const std::string& name) { return base_.is_folder(path(name)); }
std::string FolderFiles::identity(const std::string& name) { return base_.identity(path(name)); }
std::string FolderFiles::identity_of(const std::string& name, bool* folder) {
  return base_.identity_of(path(name), folder);
}
std::string FolderFiles::name_key(const std::string& name) { return base_.name_key(path(name)); }

// --- descriptor files

FdInputFile::~FdInputFile() {
  if (fd_ >= 0) ::close(fd_);
}

Status FdInputFile::read_block(std::string* buffer, bool* end) {
  char block[kBlockSize];
  for (;;) {
    const auto n = ::read(fd_, block, sizeof block);
    if (n < 0) {
      if (errno == EINTR) continue;
      return file_error(name_, "cannot read", errno);
    }
    *end = n == 0;
    buffer->append(block, static_cast<size_t>(n));
    return Status::Ok();
  }
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = ::write(fd, bytes.data(), static_cast<unsigned>(std::min<size_t>(bytes.size(), 1u << 30)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

FdOutputFile::~FdOutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void FdOutputFile::write(std::string_view bytes) {
  if (fd_ < 0 || error_ != 0) return;
  pending_.append(bytes);
  if (pending_.size() >= InputFile::kBlockSize) write_out();
}

void FdOutputFile::write_out() {
  if (error_ == 0 && !write_all(fd_, pending_)) error_ = errno ? errno : EIO;
  pending_.clear();
}

Status FdOutputFile::failure() const {
  if (error_ != 0) return file_error(name_, "cannot write", error_);
  return Status::Ok();
}

Status FdOutputFile::flush() {
  if (fd_ < 0) return already_closed(name_);
  write_out();
  return failure();
}

Status FdOutputFile::close() {
  if (fd_ < 0) return already_closed(name_);
  write_out();
  if (::close(fd_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
  fd_ = -1;
  return failure();
}

// --- DiskFiles, the parts common to every system

Status DiskFiles::check_standard_output() {
  if (!standard_output_closed()) return Status::Ok();
  return file_error("standard output", "cannot write", EBADF);
}

Status DiskFiles::read(const std::string& name, std::string* content) {
  std::unique_ptr<InputFile> in;
  MORVANTIDE_RETURN_IF_ERROR(open(name, &in));
  content->clear();
  for (bool end = false; !end;) MORVANTIDE_RETURN_IF_ERROR(in->read_block(content, &end));
  return Status::Ok();
}

// --- MemoryFiles

Status MemoryFiles::read(const std::string& name, std::string* content) {
  auto it = contents.find(name);
  if (it == contents.end()) {
    return Status::FileError(name + ": cannot open (No such file or directory)",
                             Status::Kind::kFileNotFound, ENOENT);
  }
  *content = it->second;
  return Status::Ok();
}

Status MemoryFiles::create(const std::string& name, std::unique_ptr<OutputFile>* out) {
  std::string& target = contents[name];
  target.clear();
  *out = std::make_unique<MemoryOutputFile>(&target);
  return Status::Ok();
}

}  // namespace morvantide
