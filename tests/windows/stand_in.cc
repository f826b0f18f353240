// A stand-in for notepad.exe and wgnuplot.exe in the Windows checks (built
// twice, with STAND_IN_NAME "notepad" and "wgnuplot"), put beside
// morvantide.exe so that it is found before any real program.  Each call
// appends two lines to calls.log in its own folder:
//
//   start<TAB>NAME<TAB>ARGC<TAB>SIZE<TAB>RAW<TAB>ARG1<TAB>ARG2...
//   end<TAB>NAME<TAB>ARG1
//
// ARGC counts the arguments after the program as CommandLineToArgvW splits
// the command line, SIZE is the size in bytes of the file named by the first
// argument when the call starts (-1 when there is none), RAW is the command
// line as received.  Between the two lines it waits STANDIN_DELAY_MS
// milliseconds (0 when unset), so that a caller that does not wait would
// start its next program before this one has logged its end.  It exits with
// status 7: the caller must go on whatever the status.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

#ifndef STAND_IN_NAME
#error "STAND_IN_NAME must be defined"
#endif

namespace {

std::string narrow(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

std::string log_path() {
  char path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path, n);
  size_t slash = p.find_last_of("\\/");
  return (slash == std::string::npos ? std::string(".") : p.substr(0, slash)) + "\\calls.log";
}

void append(const std::string& line) {
  HANDLE h = CreateFileA(log_path().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) std::exit(90);
  DWORD written = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(h);
}

long long file_size(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::string first = argc > 1 ? narrow(argv[1]) : std::string();
  std::string start = std::string("start\t") + STAND_IN_NAME + "\t" + std::to_string(argc - 1) +
                      "\t" + std::to_string(argc > 1 ? file_size(first) : -1) + "\t" +
                      GetCommandLineA();
  for (int k = 1; k < argc; ++k) start += "\t" + narrow(argv[k]);
  append(start + "\n");

  char delay[32];
  DWORD n = GetEnvironmentVariableA("STANDIN_DELAY_MS", delay, sizeof delay);
  if (n > 0 && n < sizeof delay) Sleep(static_cast<DWORD>(std::atol(delay)));

  append(std::string("end\t") + STAND_IN_NAME + "\t" + first + "\n");
  return 7;
}
