// The platform on Windows: the local clock, and notepad and wgnuplot started
// directly with CreateProcess (never through cmd.exe, so that a file name
// holding &, ^, | or % is passed as it is).
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "common/text.h"

#include "common/command_line.h"
#include "common/console.h"
#include "common/files_fd.h"
#include "common/platform.h"

namespace morvantide {

// Windows has neither closed standard descriptors that a file could take
// nor SIGXFSZ: a closed standard output is only noted.
void prepare_process() {
  const int fd = _fileno(stdout);
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  bool closed = fd < 0 || _get_osfhandle(fd) < 0 || h == nullptr || h == INVALID_HANDLE_VALUE;
  if (!closed) {
    SetLastError(NO_ERROR);
    closed = GetFileType(h) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR;
  }
  if (closed) mark_standard_output_closed();
}

LocalTime SystemPlatform::now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

int32_t run_command(const std::vector<std::string>& argv, const std::string& folder) {
  std::string line;
  if (!windows_command_line(argv, &line)) return -1;
  std::vector<char> buffer(line.begin(), line.end());  // CreateProcessA may write to it
  buffer.push_back('\0');

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  // No application name: the program is looked for as Windows does for a
  // command line (the folder of this program first, then the system
  // folders and PATH), ".exe" added.
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  if (!ended) return -1;
  return static_cast<int32_t>(code);
}

int32_t SystemPlatform::run_in(const std::string& folder, Program program,
                               const std::string& file) {
  return run_command({program == Program::kEditor ? "notepad" : "wgnuplot", file_argument(file)},
                     folder);
}

const std::string_view kConsoleLineEnd = "\r\n";

void set_standard_output_binary() { _setmode(_fileno(stdout), _O_BINARY); }

bool is_absolute_path(const std::string& name) {
  if (name.size() >= 2 && name[1] == ':') return true;
  return !name.empty() && (name[0] == '\\' || name[0] == '/');
}

std::string current_folder() {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return std::string(buffer, n);
}

Status check_folder(const std::string& folder) {
  const DWORD a = GetFileAttributesA(folder.c_str());
  const DWORD code = a == INVALID_FILE_ATTRIBUTES             ? GetLastError()
                     : (a & FILE_ATTRIBUTE_DIRECTORY) == 0 ? DWORD{ERROR_DIRECTORY}
                                                             : DWORD{0};
  if (code != 0) {
    return Status::Error(printable(folder) + ": cannot enter the folder (Windows error " +
                         std::to_string(code) + ")");
  }
  return Status::Ok();
}

namespace {

// The prefixes of `folder` that name its parents and itself, outermost
// first: "a/b/c" -> "a", "a/b", "a/b/c".
std::vector<std::string> folder_prefixes(const std::string& folder) {
  std::vector<std::string> out;
  for (size_t k = 1; k <= folder.size(); ++k) {
    const bool end = k == folder.size();
    if (end || (folder[k] == '/' || folder[k] == '\\')) {
      const std::string prefix = folder.substr(0, k);
      const char last = prefix.empty() ? '/' : prefix.back();
      if (last != '/' && last != '\\' && last != ':') {
        out.push_back(prefix);
      }
    }
  }
  return out;
}
}  // namespace

Status make_folders(const std::string& folder, std::vector<std::string>* made) {
  for (const std::string& prefix : folder_prefixes(folder)) {
    if (GetFileAttributesA(prefix.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (!CreateDirectoryA(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return Status::Error(printable(folder) + ": cannot make the folder (Windows error " +
                           std::to_string(GetLastError()) + ")");
    }
    made->push_back(prefix);
  }
  return Status::Ok();
}

void remove_empty_folder(const std::string& folder) { RemoveDirectoryA(folder.c_str()); }

bool standard_error_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

Status read_standard_input(std::string* content) {
  content->clear();
  _setmode(_fileno(stdin), _O_BINARY);
  char block[65536];
  while (true) {
    const size_t n = std::fread(block, 1, sizeof block, stdin);
    content->append(block, n);
    if (n < sizeof block) break;
  }
  if (std::ferror(stdin)) return Status::Error("standard input: cannot read");
  return Status::Ok();
}

std::unique_ptr<InputFile> open_standard_input() {
  _setmode(_fileno(stdin), _O_BINARY);
  // A descriptor of its own, which the reader closes; standard input stays.
  return std::make_unique<FdInputFile>("standard input", _dup(_fileno(stdin)));
}

// The program never sets a locale: numbers are read and written in the C
// locale already.
CLocaleScope::CLocaleScope() = default;

CLocaleScope::~CLocaleScope() = default;

}  // namespace morvantide
