#include <gtest/gtest.h>

#include "lines_testing.h"

#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/quad.h"
#include "core/estimation.h"
#include "model/plot_files.h"
#include "model/state.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"

#include "core_testing.h"

namespace morvantide {

using core_testing::StudyLists;
namespace {

std::string blanks(size_t n) { return std::string(n, ' '); }

real nan_value() { return nanq(""); }
real inf_value() { return 1.0Q / 0.0Q; }

// h(i) = 10^(2-i), so log10(h) is 1, 0, -1, ... -6 on grids 1 to 8.
const real kSpacings[] = {10.0Q,   1.0Q,     0.1Q,      0.01Q,
                          0.001Q,  0.0001Q,  0.00001Q,  0.000001Q};
std::string x_text(int32_t i) {
  const char* texts[] = {"  1.0000E+00", "  0.0000E+00", " -1.0000E+00", " -2.0000E+00",
                         " -3.0000E+00", " -4.0000E+00", " -5.0000E+00", " -6.0000E+00"};
  return texts[i - 1];
}

StudyLists make_state(int32_t nm) {
  StudyLists s;
  s.nm = nm;
  s.pL = 1.5Q;
  s.dp = 0.25Q;
  s.create_lists(nm);
  for (int32_t i = 1; i <= nm; ++i) s.h(i) = kSpacings[i - 1];
  GridTable& grids = s;
  grids = tabela_malhas(s.h);
  return s;
}

std::vector<std::string> write_and_read(const StudyLists& s, const std::string& name) {
  MemoryFiles files;
  Status st = write_plot_data(s, files);
  EXPECT_TRUE(st.ok()) << st.message();
  EXPECT_EQ(files.contents.size(), 12u);
  return lines_of(files.contents[name]);
}

TEST(PlotData, Headings) {
  const std::string order = "#  log(h)" + blanks(17);  // label from column 27
  const std::string estimate = "# log(h)" + blanks(6);  // label from column 15
  struct Case {
    const char* file;
    std::string heading;
  } cases[] = {
      {"p0.dat", order + "p0"},
      {"pU_h.dat", order + "pU_h"},
      {"p1.dat", order + "p1"},
      {"pU_i.dat", order + "pU_i"},
      {"p2.dat", order + "p2"},
      {"pU_bi.dat", order + "pU_bi"},
      {"pU_c.dat", order + "pU_c"},
      {"pU_mer.dat", order + "pU*(Tm1)"},
      {"U_12.dat", estimate + "log|UGCI(Th)|"},
      {"U_13.dat", estimate + "log|Umc(Th)|"},
      {"U_14.dat", estimate + " log|Uc(Tc)|"},
      {"U_15.dat", estimate + " log|Um(Tm1)|"},
  };
  EXPECT_EQ(cases[1].heading, "#  log(h)                 pU_h");
  EXPECT_EQ(cases[10].heading, "# log(h)       log|Uc(Tc)|");
  for (const Case& c : cases) {
    std::vector<std::string> lines = write_and_read(make_state(0), c.file);
    ASSERT_EQ(lines.size(), 1u) << c.file;
    EXPECT_EQ(lines[0], c.heading) << c.file;
  }
}

TEST(PlotData, ReferenceLinesOfTheTrueOrders) {
  // pL = 1.5, dp = 0.25: the lines at 1.5, 1.75 and 2, on every grid, with
  // any number of grids (pV(2) and pV(3) are formed, not read).
  struct Case {
    const char* file;
    const char* order;
  } cases[] = {{"p0.dat", "  1.5000E+00"}, {"p1.dat", "  1.7500E+00"}, {"p2.dat", "  2.0000E+00"}};
  for (int32_t nm : {1, 2, 3, 8}) {
    for (const Case& c : cases) {
      std::vector<std::string> lines = write_and_read(make_state(nm), c.file);
      ASSERT_EQ(lines.size(), static_cast<size_t>(nm) + 1) << c.file << " nm " << nm;
      for (int32_t i = 1; i <= nm; ++i) {
        EXPECT_EQ(lines[i], x_text(i) + c.order) << c.file << " nm " << nm << " grid " << i;
      }
    }
  }
}

TEST(PlotData, TrueOrdersFollowPlAndTheStep) {
  // pV(2) = pL + dp and pV(3) = pL + 2 dp in binary128: with a step near
  // the largest binary128 value the first has a four-digit exponent (a field
  // of asterisks) and the second overflows.
  StudyLists s = make_state(1);
  s.pL = 0.1Q;
  s.dp = 1.0e4932Q;
  EXPECT_EQ(write_and_read(s, "p0.dat")[1], "  1.0000E+00  1.0000E-01");
  EXPECT_EQ(write_and_read(s, "p1.dat")[1], "  1.0000E+00************");
  EXPECT_EQ(write_and_read(s, "p2.dat")[1], "  1.0000E+00    Infinity");
}

struct ValueCase {
  const char* what;
  real value;
  const char* y;  // nullptr: a gap line
};

TEST(PlotData, ObservedOrdersBelowTheBoundOnly) {
  const ValueCase values[] = {
      {"9.9e9", 9.9e9Q, "  9.90000000000000E+09"},
      {"just below the bound", 9999999999.0Q, "  9.99999999900000E+09"},
      {"the bound 1.0e10", 1.0e10Q, nullptr},
      {"2.0e10", 2.0e10Q, nullptr},
      {"sentinel", kSentinel, nullptr},
      {"NaN", nan_value(), nullptr},
      {"Infinity", inf_value(), nullptr},
      {"negative", -1.5Q, " -1.50000000000000E+00"},
      {"-Infinity", -inf_value(), "             -Infinity"},
      {"zero", 0, "  0.00000000000000E+00"},
  };
  struct File {
    const char* name;
    RealList StudyLists::*list;
    int32_t first;
  } files[] = {
      {"pU_h.dat", &StudyLists::pUs_Th, 3},  {"pU_i.dat", &StudyLists::pUs_Ti, 5},
      {"pU_bi.dat", &StudyLists::pUs_Tbi, 7}, {"pU_c.dat", &StudyLists::pUs_Tc, 5},
      {"pU_mer.dat", &StudyLists::pUs_Tm1, 3},
  };
  for (const File& f : files) {
    for (const ValueCase& v : values) {
      StudyLists s = make_state(8);
      // Only the first grid of the range is set: the grids after it stay at
      // the sentinel, and the grids before it are never looked at.
      for (int32_t i = 1; i < f.first; ++i) (s.*f.list)(i) = 1;
      (s.*f.list)(f.first) = v.value;
      std::vector<std::string> lines = write_and_read(s, f.name);
      ASSERT_EQ(lines.size(), static_cast<size_t>(8 - f.first + 2)) << f.name << ", " << v.what;
      std::string expected = v.y ? x_text(f.first) + v.y : "";
      EXPECT_EQ(lines[1], expected) << f.name << ", " << v.what;
      for (size_t k = 2; k < lines.size(); ++k) EXPECT_EQ(lines[k], "") << f.name << ", " << v.what;
    }
  }
}

TEST(PlotData, EstimatesGapOnlyAtTheSentinel) {
  const ValueCase values[] = {
      {"sentinel", kSentinel, nullptr},
      {"1.0e10", 1.0e10Q, "  1.00000000000000E+01"},
      // 11 + log10(1 + 5e-12) = 11 + 5e-12 / ln 10 = 11.0000000000021715
      {"just above the sentinel", 100000000000.5Q, "  1.10000000000022E+01"},
      {"twice the sentinel", 2.0e11Q, "  1.13010299956640E+01"},  // 11 + log10(2)
      {"zero", 0, "             -Infinity"},
      {"negative", -0.01Q, " -2.00000000000000E+00"},
      {"NaN", nan_value(), "                   NaN"},
      {"Infinity", inf_value(), "              Infinity"},
      {"-Infinity", -inf_value(), "              Infinity"},
  };
  struct File {
    const char* name;
    RealList StudyLists::*list;
  } files[] = {
      {"U_12.dat", &StudyLists::UGCI_Th},
      {"U_13.dat", &StudyLists::Umc_Th},
      {"U_14.dat", &StudyLists::Uc_Tc},
      {"U_15.dat", &StudyLists::Um_Tm1},
  };
  for (const File& f : files) {
    for (const ValueCase& v : values) {
      StudyLists s = make_state(3);
      (s.*f.list)(1) = 1;  // grid 1 is not in the range
      (s.*f.list)(2) = v.value;
      std::vector<std::string> lines = write_and_read(s, f.name);
      ASSERT_EQ(lines.size(), 3u) << f.name << ", " << v.what;
      std::string expected = v.y ? x_text(2) + v.y : "";
      EXPECT_EQ(lines[1], expected) << f.name << ", " << v.what;
      EXPECT_EQ(lines[2], "") << f.name << ", " << v.what;
    }
  }
}

TEST(PlotData, GapsInsideARange) {
  StudyLists s = make_state(8);
  const real orders[] = {1, kSentinel, kSentinel, 2, kSentinel, 0.5Q};
  for (int32_t i = 3; i <= 8; ++i) s.pUs_Tm1(i) = orders[i - 3];
  std::vector<std::string> lines = write_and_read(s, "pU_mer.dat");
  const std::vector<std::string> expected = {
      "#  log(h)" + blanks(17) + "pU*(Tm1)",
      x_text(3) + "  1.00000000000000E+00",
      "",
      "",
      x_text(6) + "  2.00000000000000E+00",
      "",
      x_text(8) + "  5.00000000000000E-01",
  };
  EXPECT_EQ(lines, expected);
}

TEST(PlotData, RangesOfTheFiles) {
  // Lines after the heading, per file in order, for a number of grids.
  struct Case {
    int32_t nm;
    size_t lines[12];
  } cases[] = {
      {0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {1, {1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
      {2, {2, 0, 2, 0, 2, 0, 0, 0, 1, 1, 1, 1}},
      {4, {4, 2, 4, 0, 4, 0, 0, 2, 3, 3, 3, 3}},
      {6, {6, 4, 6, 2, 6, 0, 2, 4, 5, 5, 5, 5}},
      {8, {8, 6, 8, 4, 8, 2, 4, 6, 7, 7, 7, 7}},
  };
  for (const Case& c : cases) {
    MemoryFiles files;
    ASSERT_TRUE(write_plot_data(make_state(c.nm), files).ok());
    for (int k = 0; k < 12; ++k) {
      EXPECT_EQ(lines_of(files.contents[kPlotFiles[k].name]).size(), c.lines[k] + 1)
          << kPlotFiles[k].name << " nm " << c.nm;
    }
  }
}

TEST(PlotData, EarlierLongerFilesAreReplaced) {
  MemoryFiles files;
  for (const PlotFile& file : kPlotFiles) files.contents[file.name] = std::string(5000, 'x') + "\r\n";
  ASSERT_TRUE(write_plot_data(make_state(1), files).ok());
  EXPECT_EQ(files.contents["p0.dat"],
            "#  log(h)" + blanks(17) + "p0\r\n  1.0000E+00  1.5000E+00\r\n");
  EXPECT_EQ(files.contents["pU_h.dat"], "#  log(h)" + blanks(17) + "pU_h\r\n");
  EXPECT_EQ(files.contents["U_15.dat"], "# log(h)" + blanks(7) + "log|Um(Tm1)|\r\n");
}

// Records every create and close; fails the create or the close of one file.
class RecordingFiles : public Files {
 public:
  std::vector<std::string> events;
  std::string fail_create, fail_close;
  MemoryFiles memory;

  Status read(const std::string& name, std::string* content) override {
    return memory.read(name, content);
  }
  Status create(const std::string& name, std::unique_ptr<OutputFile>* out) override {
    events.push_back("create " + name);
    if (name == fail_create) return Status::Error(name + ": cannot create (disk full)");
    std::unique_ptr<OutputFile> inner;
    MORVANTIDE_RETURN_IF_ERROR(memory.create(name, &inner));
    *out = std::make_unique<Recorder>(this, name, std::move(inner));
    return Status::Ok();
  }
  bool exists(const std::string& name) override { return memory.exists(name); }
  std::string identity(const std::string& name) override { return memory.identity(name); }

 private:
  class Recorder : public OutputFile {
   public:
    Recorder(RecordingFiles* owner, std::string name, std::unique_ptr<OutputFile> inner)
        : owner_(owner), name_(std::move(name)), inner_(std::move(inner)) {}
    void write(std::string_view bytes) override { inner_->write(bytes); }
    Status close() override {
      owner_->events.push_back("close " + name_);
      if (name_ == owner_->fail_close) return Status::Error(name_ + ": cannot write (disk full)");
      return inner_->close();
    }

   private:
    RecordingFiles* owner_;
    std::string name_;
    std::unique_ptr<OutputFile> inner_;
  };
};

TEST(PlotData, EachFileClosedBeforeTheNext) {
  RecordingFiles files;
  ASSERT_TRUE(write_plot_data(make_state(3), files).ok());
  std::vector<std::string> expected;
  for (const PlotFile& file : kPlotFiles) {
    expected.push_back(std::string("create ") + file.name);
    expected.push_back(std::string("close ") + file.name);
  }
  EXPECT_EQ(files.events, expected);
}

TEST(PlotData, AFailedFileEndsTheWriting) {
  struct Case {
    const char* fail_create;
    const char* fail_close;
    const char* message;
    std::vector<std::string> events;
  } cases[] = {
      {"", "p1.dat", "p1.dat: cannot write (disk full)",
       {"create p0.dat", "close p0.dat", "create pU_h.dat", "close pU_h.dat", "create p1.dat",
        "close p1.dat"}},
      {"pU_h.dat", "", "pU_h.dat: cannot create (disk full)",
       {"create p0.dat", "close p0.dat", "create pU_h.dat"}},
      {"", "U_15.dat", "U_15.dat: cannot write (disk full)", {}},
  };
  for (const Case& c : cases) {
    RecordingFiles files;
    files.fail_create = c.fail_create;
    files.fail_close = c.fail_close;
    Status st = write_plot_data(make_state(3), files);
    ASSERT_FALSE(st.ok()) << c.message;
    EXPECT_EQ(st.message(), c.message);
    if (!c.events.empty()) {
      EXPECT_EQ(files.events, c.events) << c.message;
    }
  }
}

}  // namespace
}  // namespace morvantide
