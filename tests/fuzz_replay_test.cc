// Replays the fuzz targets' seed corpora and every finding kept in
// fuzz/regressions/ through the same harness the fuzzers run, so each
// finding stays fixed in every build (and under the sanitizers in CI).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> files_in(const std::string& folder) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(MORVANTIDE_SOURCE_DIR) / "fuzz" / folder;
  if (!fs::exists(dir)) return files;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  return files;
}

std::string content(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FuzzReplay, FreeFormat) {
  const std::vector<fs::path> seeds = files_in("corpus/freeformat");
  EXPECT_GE(seeds.size(), 3u);
  for (const std::string folder : {"corpus/freeformat", "regressions/freeformat"}) {
    for (const fs::path& p : files_in(folder)) {
      EXPECT_EQ(morvantide::fuzz::free_format(content(p)), "") << p;
    }
  }
}

TEST(FuzzReplay, WholeRun) {
  // The seeds are sound runs, so the fuzzer starts deep in the program.
  const std::vector<fs::path> seeds = files_in("corpus/run");
  EXPECT_GE(seeds.size(), 3u);
  for (const fs::path& p : seeds) {
    std::string outcome;
    EXPECT_EQ(morvantide::fuzz::whole_run(content(p), &outcome), "") << p;
    EXPECT_EQ(outcome, "ok") << p;
  }
  for (const fs::path& p : files_in("regressions/run")) {
    std::string outcome;
    EXPECT_EQ(morvantide::fuzz::whole_run(content(p), &outcome), "") << p << ": " << outcome;
  }
}

TEST(FuzzReplay, DataRun) {
  const std::vector<fs::path> seeds = files_in("corpus/data");
  EXPECT_GE(seeds.size(), 3u);
  for (const fs::path& p : seeds) {
    std::string outcome;
    EXPECT_EQ(morvantide::fuzz::data_run(content(p), &outcome), "") << p;
    EXPECT_EQ(outcome, "ok") << p;
  }
  for (const fs::path& p : files_in("regressions/data")) {
    std::string outcome;
    EXPECT_EQ(morvantide::fuzz::data_run(content(p), &outcome), "") << p << ": " << outcome;
  }
}

TEST(FuzzReplay, FieldRun) {
  const std::vector<fs::path> seeds = files_in("corpus/field");
  EXPECT_GE(seeds.size(), 3u);
  for (const fs::path& p : seeds) {
    std::string outcome;
    EXPECT_EQ(morvantide::fuzz::field_run(content(p), &outcome), "") << p << ": " << outcome;
  }
  for (const fs::path& p : files_in("regressions/field")) {
    std::string outcome;
    EXPECT_EQ(morvantide::fuzz::field_run(content(p), &outcome), "") << p << ": " << outcome;
  }
}

}  // namespace
