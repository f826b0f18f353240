// Whole-program golden cases: each folder under tests/golden holds a run's
// inputs and, under expected/, every file the run must write, byte for byte.
// The run happens in a scratch copy of the folder, with the clock fixed at
// 6 Dec 2026 09:05:03 and no editor or plotter.  The expected files were
// checked by hand against the closed form of each case (see its README) and
// by check_golden.py, which recomputes every printed number at 80 digits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/files.h"
#include "platform_testing.h"
#include "run/run.h"

namespace fs = std::filesystem;

namespace morvantide {
namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Line `n` (1-based) of `text` with CR shown as ^M and the line end as $.
std::string show_line(const std::string& text, size_t n) {
  std::istringstream in(text);
  std::string line;
  for (size_t i = 0; i < n && std::getline(in, line); ++i) {
  }
  std::string out;
  for (char c : line) out += c == '\r' ? std::string("^M") : std::string(1, c);
  return out + "$";
}

std::string first_difference(const std::string& expected, const std::string& actual) {
  size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  size_t line = 1 + std::count(expected.begin(), expected.begin() + i, '\n');
  return "line " + std::to_string(line) + ": expected [" + show_line(expected, line) +
         "] actual [" + show_line(actual, line) + "]";
}

class GoldenCase : public testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, OutputsEqualExpectedFiles) {
  const fs::path source = fs::path(MORVANTIDE_SOURCE_DIR) / "tests" / "golden" / GetParam();
  const fs::path work = fs::temp_directory_path() /
                        ("morvantide-golden-" + GetParam() + "-" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  for (const auto& entry : fs::directory_iterator(source)) {
    const std::string name = entry.path().filename().string();
    if (name != "expected" && name != "README") fs::copy(entry.path(), work / name);
  }

  const fs::path previous = fs::current_path();
  fs::current_path(work);
  DiskFiles files;
  FakePlatform platform(nullptr, {}, -1);
  MemoryFiles screen;
  std::unique_ptr<OutputFile> console;
  ASSERT_TRUE(screen.create("console", &console).ok());
  State s;
  Status status = run(s, files, platform, Options(), *console);
  fs::current_path(previous);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(screen.contents["console"], "");

  int compared = 0;
  for (const auto& entry : fs::directory_iterator(source / "expected")) {
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(fs::exists(work / name)) << "missing output " << name;
    const std::string expected = slurp(entry.path());
    const std::string actual = slurp(work / name);
    EXPECT_TRUE(expected == actual) << name << " " << first_difference(expected, actual);
    ++compared;
  }
  EXPECT_EQ(compared, 15) << "a listing, twelve plot data files and two scripts";
  fs::remove_all(work);
}

// The example_channel case is the bundled example: its inputs stay the same
// files as examples/channel, so the example's listing is the one checked.
TEST(GoldenExampleChannel, InputsAreTheBundledExample) {
  const fs::path example = fs::path(MORVANTIDE_SOURCE_DIR) / "examples" / "channel";
  const fs::path golden = fs::path(MORVANTIDE_SOURCE_DIR) / "tests" / "golden" / "example_channel";
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(example)) {
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(fs::exists(golden / name)) << name << " is missing from the golden case";
    EXPECT_TRUE(slurp(entry.path()) == slurp(golden / name)) << name << " differs";
    ++compared;
  }
  EXPECT_EQ(compared, 3) << "control file, parameter file, result file";
}

std::vector<std::string> golden_cases() {
  std::vector<std::string> names;
  for (const auto& entry :
       fs::directory_iterator(fs::path(MORVANTIDE_SOURCE_DIR) / "tests" / "golden")) {
    const std::string name = entry.path().filename().string();
    // A case is a folder; Python's __pycache__ of check_golden.py is not one.
    if (entry.is_directory() && name[0] != '_' && name[0] != '.') names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenCase, testing::ValuesIn(golden_cases()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace morvantide
