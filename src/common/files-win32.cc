// Files on Windows.  Files are opened through the C run-time in binary mode
// and not inherited by the programs the run starts; a handle that is not a
// disk file (NUL, CON, COM1, a pipe) is refused.  The identity of a file is
// the serial number of its volume and its file index, which stay the same
// whatever name or letter case reaches it.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "common/files.h"
#include "common/files_fd.h"
#include "common/text.h"

namespace morvantide {

namespace {

Status not_regular(const std::string& name) {
  return Status::FileError(printable(name) + ": not a regular file", Status::Kind::kFile, 0);
}

// "NAME: WHAT (REASON)" with the system's text for a Windows error code.
Status windows_error(const std::string& name, const std::string& what, DWORD code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.' ||
                   text[n - 1] == ' ')) {
    --n;
  }
  std::string reason = n > 0 ? std::string(text, n) : "error " + std::to_string(code);
  const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
  return Status::FileError(printable(name) + ": " + what + " (" + reason + ")",
                           missing ? Status::Kind::kFileNotFound : Status::Kind::kFile,
                           missing ? ENOENT : 0);
}

// A name Windows gives to a device wherever it stands (CON, NUL, COM1,
// "lista\\NUL.txt"): its full path is then \\.\DEVICE.
bool device_name(const std::string& name) {
  char full[MAX_PATH * 2];
  const DWORD n = GetFullPathNameA(name.c_str(), sizeof full, full, nullptr);
  return n >= 4 && n < sizeof full && std::string(full, 4) == "\\\\.\\";
}

bool folder_attributes(const std::string& name) {
  const DWORD a = GetFileAttributesA(name.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Opens with the C run-time a file that must be a disk file.
Status open_regular(const std::string& name, int flags, const char* failing, int* fd) {
  if (folder_attributes(name)) {
    return Status::FileError(printable(name) + ": cannot open (it is a folder)",
                             Status::Kind::kFile, EISDIR);
  }
  const int d = _open(name.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (d < 0) return file_error(name, failing, errno);
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(d))) != FILE_TYPE_DISK) {
    _close(d);
    return not_regular(name);
  }
  *fd = d;
  return Status::Ok();
}

std::string folder_of(const std::string& name) {
  const size_t slash = name.find_last_of("/\\:");
  if (slash == std::string::npos) return ".";
  if (name[slash] == ':') return name.substr(0, slash + 1) + ".";
  return slash == 0 ? name.substr(0, 1) : name.substr(0, slash);
}

class LockHeld : public FolderLock {
 public:
  explicit LockHeld(HANDLE h) : h_(h) {}
  ~LockHeld() override { CloseHandle(h_); }

 private:
  HANDLE h_;
};

}  // namespace

void remove_temporaries_on_signals() {}

std::string DiskFiles::standard_output_identity() {
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  if (h == INVALID_HANDLE_VALUE || h == nullptr || GetFileType(h) != FILE_TYPE_DISK) {
    return std::string();
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return std::string();
  const unsigned long long index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(static_cast<unsigned long long>(info.dwVolumeSerialNumber)) + ":" +
         std::to_string(index);
}

Status DiskFiles::open(const std::string& name, std::unique_ptr<InputFile>* in) {
  int fd = -1;
  MORVANTIDE_RETURN_IF_ERROR(open_regular(name, _O_RDONLY, "cannot open", &fd));
  *in = std::make_unique<FdInputFile>(name, fd);
  return Status::Ok();
}

Status DiskFiles::create(const std::string& name, std::unique_ptr<OutputFile>* out) {
  int fd = -1;
  MORVANTIDE_RETURN_IF_ERROR(open_regular(name, _O_WRONLY | _O_CREAT, "cannot create", &fd));
  if (_chsize(fd, 0) != 0) {
    const int err = errno;
    _close(fd);
    return file_error(name, "cannot create", err);
  }
  *out = std::make_unique<FdOutputFile>(name, fd);
  return Status::Ok();
}

namespace {

// Writes `content` to a temporary file in the folder of `name` and moves it
// over `name`; the temporary file is removed on any failure.
Status replace_through_temporary(const std::string& name, std::string_view content) {
  char temp[MAX_PATH + 16];
  if (GetTempFileNameA(folder_of(name).c_str(), "mvt", 0, temp) == 0) {
    return windows_error(name, "cannot write", GetLastError());
  }
  const int fd = _open(temp, _O_WRONLY | _O_TRUNC | _O_BINARY | _O_NOINHERIT);
  int err = fd < 0 ? errno : 0;
  if (err == 0 && (!write_all(fd, content) || _commit(fd) != 0)) err = errno ? errno : EIO;
  if (fd >= 0 && _close(fd) != 0 && err == 0) err = errno ? errno : EIO;
  if (err != 0) {
    DeleteFileA(temp);
    return file_error(name, "cannot write", err);
  }
  if (!MoveFileExA(temp, name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    DeleteFileA(temp);
    return windows_error(name, "cannot write", code);
  }
  return Status::Ok();
}

}  // namespace

// Held until close(), then written through a temporary file.
Status DiskFiles::create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out) {
  *out = std::make_unique<HeldText>(
      [name](std::string_view text) { return replace_through_temporary(name, text); });
  return Status::Ok();
}

// Nothing: a replacement removes its temporary file on every failure, and an
// interrupted run's temporaries carry no name of the file they stood for.
void DiskFiles::remove_stray_temporaries(const std::string&) {}

Status DiskFiles::check_writable(const std::string& name, bool replaced) {
  if (device_name(name)) return not_regular(name);
  HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    if (type != FILE_TYPE_DISK) return not_regular(name);
    const DWORD a = GetFileAttributesA(name.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return Status::Ok();
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY)) {
      return file_error(name, "cannot write", EACCES);
    }
    (void)replaced;
    return Status::Ok();
  }
  // A name Windows cannot create: a part of more than 255 bytes, or a full
  // path of MAX_PATH bytes or more.
  const size_t part = name.size() - (name.find_last_of("/\\:") + 1);
  char full[MAX_PATH * 2];
  const DWORD n = GetFullPathNameA(name.c_str(), sizeof full, full, nullptr);
  if (part > 255 || n >= MAX_PATH) return file_error(name, "cannot create", ENAMETOOLONG);
  if (!folder_attributes(folder_of(name))) return file_error(name, "cannot create", ENOENT);
  return Status::Ok();
}

Status DiskFiles::lock(const std::string& name, std::unique_ptr<FolderLock>* held) {
  held->reset();
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Status::Ok();
  // One byte far beyond the end of any control file: Windows locks are
  // mandatory, and this one keeps the file itself free for reading and for
  // the editor.
  OVERLAPPED at;
  ZeroMemory(&at, sizeof at);
  at.Offset = 0xFFFFFFFEu;
  at.OffsetHigh = 0x7FFFFFFFu;
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
      return Status::Error(printable(name) + ": another run is using this folder");
    }
    return Status::Ok();
  }
  *held = std::make_unique<LockHeld>(h);
  return Status::Ok();
}

// Without a control file the folder is held by a file of its own, open
// with no sharing and gone when the run ends (or is ended): a second run
// cannot open it.  A folder itself takes no lock on Windows.
constexpr char kFolderHold[] = "morvantide-run.lock";

Status DiskFiles::lock_folder(const std::string& control, const std::string& folder_name,
                              std::unique_ptr<FolderLock>* held) {
  held->reset();
  MORVANTIDE_RETURN_IF_ERROR(lock(control, held));
  if (*held) return Status::Ok();
  const std::string hold = folder_of(control) + "\\" + kFolderHold;
  HANDLE h = CreateFileA(hold.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY |
                             FILE_FLAG_DELETE_ON_CLOSE,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) {
      return Status::Error(printable(folder_name) + ": another run is using this folder");
    }
    return Status::Ok();  // a folder that takes no new file: writing it will say why
  }
  *held = std::make_unique<LockHeld>(h);
  return Status::Ok();
}

bool DiskFiles::is_folder(const std::string& name) { return folder_attributes(name); }

bool DiskFiles::exists(const std::string& name) {
  return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string DiskFiles::identity(const std::string& name) {
  // No access rights are asked for: the file may be open elsewhere.
  // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too.
  HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  BY_HANDLE_FILE_INFORMATION info;
  const BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return std::string();
  const unsigned long long index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(static_cast<unsigned long long>(info.dwVolumeSerialNumber)) + ":" +
         std::to_string(index);
}

std::string DiskFiles::identity_of(const std::string& name, bool* folder) {
  *folder = is_folder(name);
  return identity(name);
}

std::string Files::name_key(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(name), ec);
  if (ec) return name;
  return p.lexically_normal().generic_string();
}

std::string DiskFiles::name_key(const std::string& name) {
  // The full path as Windows makes it (/ and \ alike, "." and ".." and the
  // trailing dots and blanks of the last name gone), then in capitals: one
  // file whatever the letter case.
  DWORD size = GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return Files::name_key(name);
  std::string full(size, '\0');
  DWORD n = GetFullPathNameA(name.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return Files::name_key(name);
  full.resize(n);
  CharUpperBuffA(full.data(), n);
  return full;
}

}  // namespace morvantide
