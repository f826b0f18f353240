// Checks of the Windows platform layer, run under Wine by check.sh with the
// stand-in notepad.exe beside this program.  Each check prints one line;
// the last line is "N passed, M failed" and the exit status is 0 only when
// every check passed.
//
//   - the command line carries every argument back whole through the real
//     CommandLineToArgvW;
//   - run_command and SystemPlatform::run start the program found beside
//     this one, pass each argument as one, wait for it and return its exit
//     status; -1 when nothing can be started;
//   - DiskFiles::identity names one file the same whatever the spelling,
//     two files differently, and a missing file not at all; name_key does
//     the same for names of files not made yet;
//   - files are read and written as bytes (no CR added, no stop at Ctrl-Z).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/command_line.h"
#include "common/platform.h"

using morvantide::DiskFiles;
using morvantide::Program;
using morvantide::SystemPlatform;

namespace {

int passed = 0, failed = 0;

void check(bool ok, const std::string& what, const std::string& detail = "") {
  if (ok) {
    ++passed;
    std::printf("ok    %s\n", what.c_str());
  } else {
    ++failed;
    std::printf("FAIL  %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  }
}

std::wstring widen(const std::string& s) {
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string folder_of_this_program() {
  char path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path, n);
  return p.substr(0, p.find_last_of("\\/"));
}

// The lines of calls.log written since `from` bytes, split on tabs.
std::vector<std::vector<std::string>> log_lines(const std::string& log, size_t from) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(log.substr(from));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    size_t start = 0, tab;
    while ((tab = line.find('\t', start)) != std::string::npos) {
      fields.push_back(line.substr(start, tab - start));
      start = tab + 1;
    }
    fields.push_back(line.substr(start));
    lines.push_back(fields);
  }
  return lines;
}

const char* const kArguments[] = {
    "",
    "plain",
    "param & dados 1.txt",
    "a|b^c%PATH%<d>&&e",
    "tab\there",
    "C:\\dados\\lista.txt",
    "C:\\dados\\",
    "\\",
    "a\"b",
    "\"",
    "a\\\"b",
    "a\\\\\"b",
    "say \"hi\"\\",
    "\"\" two \"\"",
    "lista \xe9" "a.txt",
};

void quoting_round_trip() {
  for (const char* arg : kArguments) {
    std::string line;
    morvantide::windows_command_line({"prog", arg}, &line);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(widen(line).c_str(), &argc);
    bool ok = argv && argc == 2 && widen(arg) == argv[1];
    LocalFree(argv);
    check(ok, std::string("CommandLineToArgvW gives back [") + arg + "] from " + line,
          "argc " + std::to_string(argc));
  }
}

void starting_programs() {
  const std::string log_name = folder_of_this_program() + "\\calls.log";
  size_t before = slurp(log_name).size();

  // Every argument arrives whole, in order, and the status comes back.  (The
  // log separates its fields by tabs: the argument with a tab is checked by
  // the round trip above.)
  std::vector<std::string> argv{"notepad"};
  for (const char* arg : kArguments) {
    if (std::string(arg).find('\t') == std::string::npos) argv.emplace_back(arg);
  }
  int32_t status = morvantide::run_command(argv);
  check(status == 7, "run_command returns the exit status of the program",
        "got " + std::to_string(status));
  auto lines = log_lines(slurp(log_name), before);
  bool ok = lines.size() == 2 && lines[0].size() == 5 + argv.size() - 1 &&
            lines[0][0] == "start" && lines[0][2] == std::to_string(argv.size() - 1);
  for (size_t k = 1; ok && k < argv.size(); ++k) ok = lines[0][4 + k] == argv[k];
  check(ok, "run_command passes " + std::to_string(argv.size() - 1) + " arguments, each as one");

  // SystemPlatform starts notepad and wgnuplot with the file as one argument
  // and waits for them.
  SetEnvironmentVariableA("STANDIN_DELAY_MS", "800");
  SystemPlatform platform;
  before = slurp(log_name).size();
  ULONGLONG t0 = GetTickCount64();
  int32_t editor = platform.run(Program::kEditor, "lista & x.txt");
  ULONGLONG t1 = GetTickCount64();
  int32_t plotter = platform.run(Program::kPlotter, "Morvantide_4p0_pU.gnu");
  SetEnvironmentVariableA("STANDIN_DELAY_MS", nullptr);
  lines = log_lines(slurp(log_name), before);
  check(editor == 7 && plotter == 7, "SystemPlatform::run returns the status");
  check(t1 - t0 >= 700, "SystemPlatform::run waits until the editor has ended",
        std::to_string(t1 - t0) + " ms");
  check(lines.size() == 4 && lines[0].size() == 6 && lines[0][1] == "notepad" &&
            lines[0][4] == "notepad \"lista & x.txt\"" && lines[0][5] == "lista & x.txt" &&
            lines[1][0] == "end" && lines[2][1] == "wgnuplot" &&
            lines[2][4] == "wgnuplot \"Morvantide_4p0_pU.gnu\"" && lines[3][0] == "end",
        "notepad, then wgnuplot, each on one quoted file name, one after the other");

  check(morvantide::run_command({"no-such-program-here", "x"}) == -1,
        "a program that cannot be found gives -1");
  check(morvantide::run_command({}) == -1, "no program gives -1");
  check(morvantide::run_command({"note\"pad", "x"}) == -1, "a quote in the program name gives -1");
}

void file_identity() {
  DiskFiles files;
  CreateDirectoryA("sub", nullptr);
  check(morvantide::write_whole_file(files, "ident a.txt", "one").ok() &&
            morvantide::write_whole_file(files, "ident b.txt", "two").ok(),
        "files written");
  const std::string a = files.identity("ident a.txt");
  check(!a.empty(), "an existing file has an identity", a);
  struct Spelling {
    const char* name;
    bool same;
  } spellings[] = {
      {"ident a.txt", true},        {"IDENT A.TXT", true},   {".\\ident a.txt", true},
      {"sub\\..\\ident a.txt", true}, {"./ident a.txt", true}, {"ident b.txt", false},
      {"sub", false},
  };
  for (const Spelling& s : spellings) {
    std::string id = files.identity(s.name);
    check(!id.empty() && (id == a) == s.same,
          std::string(s.name) + (s.same ? " is" : " is not") + " the same file as ident a.txt", id);
  }
  check(files.identity("missing.txt").empty(), "a missing file has no identity");
  // Names of files not yet made: one key for the names of one file.
  struct NewName {
    const char* name;
    bool same;
  } new_names[] = {
      {"p0.dat", true},    {"P0.DAT", true},         {".\\p0.dat", true}, {"sub/../P0.Dat", true},
      {"p0.dat.", true},   {"p0.dat. .", true},      {"p1.dat", false},    {"sub\\p0.dat", false},
      {"p0.dat2", false},
  };
  const std::string key = files.name_key("p0.dat");
  for (const NewName& n : new_names) {
    std::string k = files.name_key(n.name);
    check((k == key) == n.same,
          std::string(n.name) + (n.same ? " would be" : " would not be") + " the file p0.dat", k);
  }

  char full[MAX_PATH * 2];
  DWORD n = GetFullPathNameA("ident a.txt", sizeof full, full, nullptr);
  check(n > 0 && files.identity(std::string(full, n)) == a, "the full path names the same file",
        std::string(full, n));
}

void bytes_unchanged() {
  DiskFiles files;
  const std::string bytes("a\r\nb\nc\x1a" "d\xe9\r\n\0end", 13);
  check(morvantide::write_whole_file(files, "bytes.bin", bytes).ok(), "bytes written");
  check(slurp("bytes.bin") == bytes, "the file holds exactly the bytes written");
  std::string back;
  check(files.read("bytes.bin", &back).ok() && back == bytes, "the bytes read back are the same");
}

// Only disk files are read or written; a template is replaced whole; a
// second hold on the control file is refused; names like options get "./".
void hostile_files() {
  DiskFiles files;
  std::string text;
  morvantide::Status st = files.read("NUL", &text);
  check(!st.ok() && st.message() == "NUL: not a regular file", "NUL is not read", st.message());
  std::unique_ptr<morvantide::OutputFile> out;
  st = files.create("NUL", &out);
  check(!st.ok() && st.message() == "NUL: not a regular file", "NUL is not written", st.message());
  st = files.check_writable("CON", false);
  check(!st.ok() && st.message() == "CON: not a regular file", "CON is no output", st.message());
  CreateDirectoryA("folder", nullptr);
  st = files.read("folder", &text);
  check(!st.ok() && st.message() == "folder: cannot open (it is a folder)", "a folder is not read",
        st.message());

  check(morvantide::write_whole_file(files, "template.gnu", "old\r\n").ok(), "template written");
  check(files.replace("template.gnu", "new\r\nlines\r\n").ok() &&
            slurp("template.gnu") == "new\r\nlines\r\n",
        "replace puts the whole new content in place");
  SetFileAttributesA("template.gnu", FILE_ATTRIBUTE_READONLY);
  st = files.check_writable("template.gnu", true);
  check(!st.ok(), "a read-only template cannot be written", st.message());
  SetFileAttributesA("template.gnu", FILE_ATTRIBUTE_NORMAL);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA("*.tmp", &found);
  check(h == INVALID_HANDLE_VALUE, "no temporary file is left behind");
  if (h != INVALID_HANDLE_VALUE) FindClose(h);

  check(morvantide::write_whole_file(files, "control.in", "1\r\n").ok(), "control file written");
  std::unique_ptr<morvantide::FolderLock> first, second;
  check(files.lock("control.in", &first).ok() && first != nullptr, "the first run holds the folder");
  st = files.lock("control.in", &second);
  check(!st.ok() && st.message() == "control.in: another run is using this folder",
        "a second run is refused at once", st.message());
  check(files.read("control.in", &text).ok() && text == "1\r\n",
        "the held control file can still be read");
  first.reset();
  check(files.lock("control.in", &second).ok() && second != nullptr,
        "the folder is free again once the first run ends");
  check(morvantide::file_argument("-x.txt") == "./-x.txt" &&
            morvantide::file_argument("+q") == "./+q" &&
            morvantide::file_argument("lista.txt") == "lista.txt",
        "names that start like an option get ./");
}

}  // namespace

int main() {
  quoting_round_trip();
  starting_programs();
  file_identity();
  bytes_unchanged();
  hostile_files();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
