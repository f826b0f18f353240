// What a run needs of the machine beyond files: the local clock and a way to
// start the editor and the plotter.  The program uses SystemPlatform; tests
// and the fuzzers supply their own.
#ifndef MORVANTIDE_COMMON_PLATFORM_H_
#define MORVANTIDE_COMMON_PLATFORM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"

namespace morvantide {

struct LocalTime {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

enum class Program { kEditor, kPlotter };

class Platform {
 public:
  virtual ~Platform() = default;
  virtual LocalTime now() = 0;
  // Runs the program on one file, waits until it has ended and returns its
  // exit status, or -1 when it cannot be started.  The file name is passed
  // as one argument, never through a command interpreter.
  virtual int32_t run(Program program, const std::string& file) = 0;
  // The same with the program started in `folder` and `file` named from
  // there (a run's --output-dir).  By default run(program, file): a
  // platform that starts no real program has no folder to start it in.
  virtual int32_t run_in(const std::string& /*folder*/, Program program,
                         const std::string& file) {
    return run(program, file);
  }
};

// The real clock and programs: notepad and wgnuplot on Windows; on POSIX
// systems the command in VISUAL or EDITOR (only when standard input is a
// terminal) and gnuplot.
class SystemPlatform : public Platform {
 public:
  LocalTime now() override;
  int32_t run(Program program, const std::string& file) override { return run_in("", program, file); }
  int32_t run_in(const std::string& folder, Program program, const std::string& file) override;
};

// Makes the process safe to run before anything else: on POSIX systems a
// closed standard descriptor (0, 1 or 2) is opened on /dev/null, so that no
// file the run opens takes its number (and the messages of a program it
// starts with it), SIGXFSZ and SIGPIPE are ignored, so that a write beyond
// the file size limit or into a closed pipe is an error with a message
// instead of a silent end, and the ending signals remove the temporary
// files being written (remove_temporaries_on_signals).  A standard output
// that was closed stays a failure for whatever is written to it.
void prepare_process();

// A file name as it is handed to the editor or the plotter: a relative name
// that starts with '-' or '+' gets "./" in front, so that no program reads
// it as an option or a command (vim runs "+cmd"; "--" is not understood by
// every editor).
//   "-n.txt"     -> "./-n.txt"
//   "+q lista"   -> "./+q lista"
//   "lista.txt"  -> "lista.txt"
inline std::string file_argument(const std::string& name) {
  if (!name.empty() && (name[0] == '-' || name[0] == '+')) return "./" + name;
  return name;
}

// Whether `name` names a file from the root (or, on Windows, a drive)
// rather than from the current folder.
bool is_absolute_path(const std::string& name);

// The current folder of the process, empty when it cannot be found.
std::string current_folder();

// Checks that `folder` is a folder a run can work in (it exists, is a
// folder and may be entered), without entering it.  Error:
// "FOLDER: cannot enter the folder (REASON)".
Status check_folder(const std::string& folder);

// Makes `folder` and each missing parent, appending to `made` the folders
// it made, the outermost first (so that a run that fails can take them
// back with remove_empty_folder, last first).  Error: "FOLDER: cannot
// make the folder (REASON)".
Status make_folders(const std::string& folder, std::vector<std::string>* made);

// Removes `folder` if it is empty; nothing otherwise.
void remove_empty_folder(const std::string& folder);

// True when standard error is a terminal (where a progress line may go).
bool standard_error_is_terminal();

// Reads all of standard input, as bytes.  Error:
// "standard input: cannot read (REASON)".
Status read_standard_input(std::string* content);

// Standard input read a block at a time, as bytes (named "standard input"
// in messages); it stays open for the process.
std::unique_ptr<InputFile> open_standard_input();

// Numbers are read and written in the C locale whatever locale the process
// runs in (a program that loads the Python module may have set one whose
// decimal mark is a comma): while a CLocaleScope lives, its thread reads
// and writes numbers in the C locale, then in its own again.  On Windows,
// where nothing sets a locale for the program, it does nothing.
class CLocaleScope {
 public:
  CLocaleScope();
  ~CLocaleScope();
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  void* previous_ = nullptr;
};

// Runs argv[0] with the arguments given, without a shell, in `folder` (the
// current folder when empty); waits for it.  Returns its exit status, or -1
// when it cannot be started.
int32_t run_command(const std::vector<std::string>& argv, const std::string& folder = "");
#ifndef _WIN32
// The same with the environment given ("NAME=value" each), or this
// process's own when `env` is empty; with `output_to_terminal`, the
// program's standard output is the controlling terminal (/dev/tty), and it
// is not started when there is none.
int32_t run_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    bool output_to_terminal = false, const std::string& folder = "");
#endif

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_PLATFORM_H_
