// morvantide: error estimates of a grid refinement study.  Everything happens
// in the library; main only reads the command line and turns the outcome into
// an exit status.
#include <cstdio>
#include <cstring>

#include "common/files.h"
#include "common/platform.h"
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

int real_main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::fputs("morvantide 4.0\n", stdout);
      return 0;
    }
    std::fprintf(stderr, "morvantide: unexpected argument \"%s\"\n%s", argv[1], kUsage);
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
