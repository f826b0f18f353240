#include "common/files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace morvantide {

Status write_whole_file(Files& files, const std::string& name, std::string_view content) {
  std::unique_ptr<OutputFile> out;
  MORVANTIDE_RETURN_IF_ERROR(files.create(name, &out));
  out->write(content);
  return out->close();
}

namespace {

std::string reason(int err) { return std::strerror(err); }

class DiskOutputFile : public OutputFile {
 public:
  DiskOutputFile(std::string name, FILE* f) : name_(std::move(name)), f_(f) {}
  ~DiskOutputFile() override {
    if (f_) std::fclose(f_);
  }
  void write(std::string_view bytes) override {
    if (!f_ || error_ != 0 || bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size()) error_ = errno ? errno : EIO;
  }
  Status flush() override {
    if (!f_) return Status::Error(name_ + ": already closed");
    if (error_ == 0 && std::fflush(f_) != 0) error_ = errno ? errno : EIO;
    return failure();
  }
  Status close() override {
    if (!f_) return Status::Error(name_ + ": already closed");
    if (std::fflush(f_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
    if (std::fclose(f_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
    f_ = nullptr;
    return failure();
  }

 private:
  Status failure() const {
    if (error_ != 0) return Status::Error(name_ + ": cannot write (" + reason(error_) + ")");
    return Status::Ok();
  }

  std::string name_;
  FILE* f_;
  int error_ = 0;
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

Status DiskFiles::read(const std::string& name, std::string* content) {
  struct stat st;
  if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return Status::Error(name + ": cannot open (it is a folder)");
  }
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return Status::Error(name + ": cannot open (" + reason(errno) + ")");
  content->clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content->append(buf, n);
  bool failed = std::ferror(f) != 0;
  int err = errno;
  std::fclose(f);
  if (failed) return Status::Error(name + ": cannot read (" + reason(err) + ")");
  return Status::Ok();
}

Status DiskFiles::create(const std::string& name, std::unique_ptr<OutputFile>* out) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return Status::Error(name + ": cannot create (" + reason(errno) + ")");
  *out = std::make_unique<DiskOutputFile>(name, f);
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

std::string Files::name_key(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(name), ec);
  if (ec) return name;
  return p.lexically_normal().generic_string();
}

// DiskFiles::identity (and on Windows DiskFiles::name_key) are the system's own:
// files-posix.cc, files-win32.cc.

Status MemoryFiles::read(const std::string& name, std::string* content) {
  auto it = contents.find(name);
  if (it == contents.end()) return Status::Error(name + ": cannot open (No such file or directory)");
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
