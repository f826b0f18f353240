// morvantide: error estimates of a grid refinement study.  Everything happens
// in the library; main only reads the command line and turns the outcome into
// an exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/files.h"
#include "common/platform.h"
#include "run/direct.h"
#include "run/field_run.h"
#include "common/version.h"
#include "run/options.h"
#include "run/run.h"

namespace {

// Prints a text of its own (--help, --version); a failed write (a full disk,
// a closed pipe) is a failure, status 1, not a success.
int print(const std::string& text) {
  morvantide::StandardOutput out;
  out.write(text);
  morvantide::Status status = out.close();
  if (!status.ok()) {
    std::fprintf(stderr, "morvantide: %s\n", status.message().c_str());
    return 1;
  }
  return 0;
}

int real_main(int argc, char** argv) {
  morvantide::prepare_process();
  const std::vector<std::string> args(argv + 1, argv + argc);
  morvantide::Options options;
  morvantide::Status parsed = morvantide::parse_options(args, &options);
  if (!parsed.ok()) {
    std::fprintf(stderr, "%s\n", parsed.message().c_str());
    return 2;
  }
  if (options.help) return print(morvantide::help_text());
  if (options.version) return print(std::string("morvantide ") + morvantide::kVersion + "\n");

  morvantide::DiskFiles files;
  morvantide::SystemPlatform platform;
  morvantide::StandardOutput console;
  if (options.has_field) {
    morvantide::Status status = morvantide::run_field(options, files, console);
    if (!status.ok()) {
      std::fprintf(stderr, "%s\n", status.message().c_str());
      return 2;
    }
    return 0;
  }
  if (options.has_data) {
    morvantide::Status status = morvantide::run_data(options, files, platform, console);
    if (!status.ok()) {
      std::fprintf(stderr, "%s\n", status.message().c_str());
      return 2;
    }
    return 0;
  }
  morvantide::State s;
  morvantide::Status status = morvantide::run(s, files, platform, options, console);
  if (!status.ok()) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return real_main(argc, argv); }
