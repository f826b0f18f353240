// A whole run in memory with command-line options: the files it ends with,
// what it printed on the console and the programs it started.
#ifndef MORVANTIDE_TESTS_RUN_TESTING_H_
#define MORVANTIDE_TESTS_RUN_TESTING_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "platform_testing.h"
#include "run/options.h"
#include "run/run.h"

namespace morvantide {

struct RunResult {
  Status status;
  MemoryFiles files;
  std::string console;
  std::vector<std::string> launches;  // "editor NAME", "plotter NAME"
};

// Parses `args` as the command line and runs on `files` with the fixed
// clock of FakePlatform; a refused command line leaves only its status.
inline RunResult run_with(MemoryFiles files, const std::vector<std::string>& args) {
  RunResult r;
  Options options;
  r.status = parse_options(args, &options);
  if (!r.status.ok()) return r;
  FakePlatform platform;
  std::unique_ptr<OutputFile> console;
  MemoryFiles screen;
  EXPECT_TRUE(screen.create("console", &console).ok());
  State s;
  r.status = run(s, files, platform, options, *console);
  r.files = std::move(files);
  r.console = screen.contents["console"];
  r.launches = platform.launches();
  return r;
}

// The run with `options` on `files` as they are (any Files, kept by the
// caller), with the fixed clock of FakePlatform and the console discarded.
inline Status run_on(Files& files, const Options& options) {
  FakePlatform platform;
  MemoryFiles screen;
  std::unique_ptr<OutputFile> console;
  EXPECT_TRUE(screen.create("console", &console).ok());
  State s;
  return run(s, files, platform, options, *console);
}

}  // namespace morvantide

#endif  // MORVANTIDE_TESTS_RUN_TESTING_H_
