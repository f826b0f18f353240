// The identity of a file on Windows: the serial number of its volume and its
// file index, which stay the same whatever name or letter case reaches it.
#include <windows.h>

#include "common/files.h"

namespace morvantide {

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
