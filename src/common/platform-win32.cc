// The platform on Windows: the local clock, and notepad and wgnuplot started
// directly with CreateProcess (never through cmd.exe, so that a file name
// holding &, ^, | or % is passed as it is).
#include <windows.h>

#include "common/command_line.h"
#include "common/platform.h"

namespace morvantide {

// Windows has neither closed standard descriptors that a file could take
// nor SIGXFSZ.
void prepare_process() {}

LocalTime SystemPlatform::now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

int32_t run_command(const std::vector<std::string>& argv) {
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
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
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

int32_t SystemPlatform::run(Program program, const std::string& file) {
  return run_command({program == Program::kEditor ? "notepad" : "wgnuplot", file_argument(file)});
}

}  // namespace morvantide
