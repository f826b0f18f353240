// morvantide: error estimates of a grid refinement study.  Everything happens
// in the library; main only reads the command line and turns the outcome into
// an exit status.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/files.h"
#include "common/platform.h"
#include "common/text.h"
#include "run/run.h"

namespace {

const char kUsage[] = "usage: morvantide [--help | --version]\n";

const char kHelp[] =
    "usage: morvantide [--help | --version]\n"
    "\n"
    "Estimates the discretisation error of a solution computed on a sequence of\n"
    "refined grids.  Run it with no arguments in the folder that holds the control\n"
    "file Morvantide_4p0.in, the parameter file it names and the result files.\n"
    "It writes the listing named in the parameter file, twelve plot data files\n"
    "(p0.dat ... U_15.dat) and completes the plot scripts Morvantide_4p0_pU.gnu and\n"
    "Morvantide_4p0_U.gnu, replacing earlier versions of these files.\n";

// Writes `text` to standard output: 0, or 1 with a message when it cannot
// be written (a full disk, a closed pipe).
int print(const char* text) {
  errno = 0;
  if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "morvantide: cannot write to standard output (%s)\n",
                 std::strerror(errno ? errno : EIO));
    return 1;
  }
  return 0;
}

int real_main(int argc, char** argv) {
  morvantide::prepare_process();
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return print(kHelp);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return print("morvantide 4.0\n");
    std::fprintf(stderr, "morvantide: unexpected argument \"%s\"\n%s",
                 morvantide::printable(argv[1]).c_str(), kUsage);
    return 2;
  }
  morvantide::DiskFiles files;
  morvantide::SystemPlatform platform;
  morvantide::Status status = morvantide::run(files, platform);
  if (!status.ok()) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return real_main(argc, argv); }
