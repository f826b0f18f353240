// The table of a run's files against what runs really write: every file a
// run leaves behind is an output row (so the clash check and the writable
// check see it), every output row is written, and --help names every file
// an option adds.
#include "run/run_files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform_testing.h"
#include "run/options.h"
#include "run/run.h"

namespace morvantide {
namespace {

MemoryFiles study() {
  MemoryFiles f;
  f.contents["Morvantide_4p0.in"] = "1\r\nparam_n.txt\r\nparam1.txt\r\n";
  f.contents["param1.txt"] = "1\r\nlista.txt\r\n2\r\n1\r\n1\r\n50\r\n1.0E-12\r\n0.5\r\n5.0\r\n4\r\n"
                             "dados.txt\r\nT\r\n";
  f.contents["dados.txt"] = "h v w\r\n1 2.0 3\r\n0.5 1.25 3.5\r\n0.25 1.0625 3.7\r\n0.125 1.015625 3.8\r\n";
  return f;
}

TEST(RunFiles, EveryFileWrittenIsARowAndEveryRowIsWritten) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--plot-least-squares"},
      {"--json", "r.json", "--csv", "r.csv", "--variables", "all"},
      {"--plot-least-squares", "--json", "r.json", "--summary"},
      {"--csv", "-"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    Options options;
    ASSERT_TRUE(parse_options(args, &options).ok());
    MemoryFiles files = study();
    const MemoryFiles before = files;
    FakePlatform platform;
    MemoryFiles screen;
    std::unique_ptr<OutputFile> console;
    ASSERT_TRUE(screen.create("console", &console).ok());
    State s;
    ASSERT_TRUE(run(s, files, platform, options, *console).ok());

    const std::vector<RunFile> table = run_files(s, FileChoice::of(options));
    std::set<std::string> outputs, inputs;
    for (const RunFile& f : table) (is_input(f.role) ? inputs : outputs).insert(f.name);
    for (const auto& [name, content] : files.contents) {
      const bool changed = !before.contents.count(name) || before.contents.at(name) != content;
      if (changed) {
        EXPECT_TRUE(outputs.count(name)) << name << " written but not in the table";
      } else {
        EXPECT_TRUE(inputs.count(name) || outputs.count(name)) << name;
      }
    }
    for (const RunFile& f : table) {
      if (is_input(f.role) || f.role == FileRole::kStandardOutput) continue;
      EXPECT_TRUE(files.contents.count(f.name)) << f.name << " in the table but not written";
    }
    const bool to_stdout = options.summary || options.csv_file == "-" || options.json_file == "-";
    EXPECT_EQ(outputs.count("standard output") == 1, to_stdout);
  }
}

TEST(RunFiles, HelpNamesEveryFileAnOptionAdds) {
  const std::string help = help_text();
  int optional = 0;
  for (const RunFile& f : fixed_files()) {
    if (f.option == FileOption::kEveryRun) continue;
    ++optional;
    const std::string option = option_name(f.option);
    EXPECT_NE(help.find(option + " adds"), std::string::npos) << option;
    EXPECT_NE(help.find(f.name), std::string::npos) << f.name;
  }
  EXPECT_GE(optional, 2);
  for (const char* option : {"--json FILE", "--csv FILE"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace morvantide
