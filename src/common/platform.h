// What a run needs of the machine beyond files: the local clock and a way to
// start the editor and the plotter.  The program uses SystemPlatform; tests
// and the fuzzers supply their own.
#ifndef MORVANTIDE_COMMON_PLATFORM_H_
#define MORVANTIDE_COMMON_PLATFORM_H_

#include <cstdint>
#include <string>
#include <vector>

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
};

// The real clock and programs: notepad and wgnuplot on Windows; on POSIX
// systems the command in VISUAL or EDITOR (only when standard input is a
// terminal) and gnuplot.
class SystemPlatform : public Platform {
 public:
  LocalTime now() override;
  int32_t run(Program program, const std::string& file) override;
};

// Runs argv[0] with the arguments given, without a shell; waits for it.
// Returns its exit status, or -1 when it cannot be started.
int32_t run_command(const std::vector<std::string>& argv);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_PLATFORM_H_
