// Tables of grids: every accepted layout gives the classic run's JSON for
// the same grids, bit for bit; bad tables give one message each; cell
// counts; the progress line on a terminal and not on a pipe.
#include "input/table.h"

#include <cstring>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "common/decimal.h"
#include "input/freeformat.h"
#include "run/direct.h"
#include "run/progress.h"
#include "run_testing.h"

#ifndef _WIN32
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace morvantide {
namespace {

// The bundled example's grids: h and two variables, coarsest first.
const char* const kGrids[][3] = {
    {"2E-1", "1.5297372433402239946162280748459195", "12.124"},
    {"1E-1", "1.5077062649110640673517327995574178", "12.0305"},
    {"5E-2", "1.5019628404508497187473712051146709", "12.0075625"},
    {"2.5E-2", "1.5004953326488823555016365882810339", "12.0018828125"},
    {"1.25E-2", "1.5001244152968510008392321148462474", "12.0004697265625"},
    {"6.25E-3", "1.5000311768344080236110847834903716", "12.0001173095703125"},
    {"3.125E-3", "1.5000078033495015980839058750560773", "12.0000293121337890625"},
    {"1.5625E-3", "1.5000019519808889907914055589763137", "12.0000073261260986328125"},
};

// n rows of comma-separated grids, h = 1, 2, ... n.
std::string many_rows(int n) {
  std::string out;
  for (int k = 1; k <= n; ++k) out += std::to_string(k) + ",1.5\n";
  return out;
}

// The rows in `order` joined by `sep`, each ended by `eol`.
std::string rows(const std::string& sep, const std::string& eol, std::vector<int> order = {}) {
  if (order.empty()) order = {0, 1, 2, 3, 4, 5, 6, 7};
  std::string out;
  for (int k : order) out += std::string(kGrids[k][0]) + sep + kGrids[k][1] + sep + kGrids[k][2] + eol;
  return out;
}

// A JSON text without the lines that name the input (title, file, names).
std::string results_only(const std::string& json) {
  std::string out;
  size_t from = 0;
  while (from < json.size()) {
    size_t end = json.find('\n', from);
    if (end == std::string::npos) end = json.size();
    std::string line = json.substr(from, end - from);
    // A table has no layout and no nv of result files.
    const std::string classic = "\"layout\": 1, \"nv\": 1, ";
    const size_t layout = line.find(classic);
    if (layout != std::string::npos) line.erase(layout, classic.size());
    if (line.find("\"title\"") == std::string::npos &&
        line.find("\"result_files\"") == std::string::npos &&
        line.find("\"name\"") == std::string::npos) {
      out += line + "\n";
    }
    from = end + 1;
  }
  return out;
}

RunResult data_run(const std::string& text, std::vector<std::string> args) {
  args.push_back("data.txt");
  RunResult r;
  Options options;
  r.status = parse_options(args, &options);
  if (!r.status.ok()) return r;
  FakePlatform platform;
  MemoryFiles screen;
  std::unique_ptr<OutputFile> console;
  EXPECT_TRUE(screen.create("console", &console).ok());
  r.files.contents["data.txt"] = text;
  r.status = run_data(options, r.files, platform, *console);
  r.files.contents.erase("data.txt");
  console->close();
  r.console = screen.contents["console"];
  return r;
}

std::string classic_json() {
  MemoryFiles files;
  files.contents["Morvantide_4p0.in"] = "1\nn.txt\np1.txt\n";
  files.contents["p1.txt"] = "1\nl.txt\n2\n1\n1\n50\n1.0E-12\n0.5\n5.0\n8\nr.txt\n't'\n";
  files.contents["r.txt"] = "h u p\n" + rows(" ", "\n");
  RunResult r = run_with(files, {"--no-edit", "--no-plot", "--json", "-", "--variables", "all"});
  EXPECT_TRUE(r.status.ok()) << r.status.message();
  return results_only(r.console);
}

// The rows with every field quoted, as csv.QUOTE_ALL writes them.
std::string quoted_rows() {
  std::string out;
  for (const auto& grid : kGrids) {
    out += "\"" + std::string(grid[0]) + "\",\"" + grid[1] + "\",\"" + grid[2] + "\"\r\n";
  }
  return out;
}

TEST(Table, EveryLayoutGivesTheClassicResults) {
  const std::string expected = classic_json();
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"CSV with a header", "h,u,p\n" + rows(",", "\n")},
      {"CSV, blanks after commas", "h, u, p\n" + rows(", ", "\n")},
      {"TSV", "h\tu\tp\n" + rows("\t", "\n")},
      {"blanks, no header", rows("   ", "\n")},
      {"quoted header", "\"h\",\"u (m/s)\",\"p\"\n" + rows(",", "\n")},
      {"semicolons with decimal points", "h;u;p\n" + rows(";", "\n")},
      {"blanks, a quoted name", "h \"u (m/s)\" p\n" + rows(" ", "\n")},
      {"comments and blank lines", "# study\n\nh,u,p\n  # grid 1 next\n" + rows(",", "\n\n")},
      {"a comment after a row", "h,u,p\n" + rows(",", " # ok\n")},
      // The first row decides the separator: a later comment does not.
      {"blanks, a comma in later comments", "h u p\n" + rows(" ", " # coarse, fine\n")},
      {"blanks, a tab in later comments", "h u p\n" + rows(" ", " #\tnote\n")},
      {"CSV, a semicolon in later comments", "h,u,p\n" + rows(",", " # a; b\n")},
      {"blanks, a comma in the first row's comment", "h u p # speed, m/s\n" + rows(" ", "\n")},
      {"CSV, a semicolon in the first row's comment", "h,u,p # a; b\n" + rows(",", "\n")},
      {"CR LF", "h,u,p\r\n" + rows(",", "\r\n")},
      {"byte-order mark", "\xEF\xBB\xBFh,u,p\n" + rows(",", "\n")},
      {"no last line end", "h,u,p\n" + rows(",", "\n").substr(0, rows(",", "\n").size() - 1)},
      {"shuffled rows", "h,u,p\n" + rows(",", "\n", {3, 7, 0, 5, 1, 6, 2, 4})},
      {"finest first", rows(",", "\n", {7, 6, 5, 4, 3, 2, 1, 0})},
      {"every field quoted, no header", quoted_rows()},
      {"every field quoted, a header", "\"h\",\"u\",\"p\"\n" + quoted_rows()},
  };
  for (const Case& c : cases) {
    RunResult r = data_run(c.text, {"--json", "-"});
    ASSERT_TRUE(r.status.ok()) << c.what << ": " << r.status.message();
    EXPECT_EQ(results_only(r.console), expected) << c.what;
  }
}

TEST(Table, BadTablesAreOneLine) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"h,u\n0.1,1.5\n0.05,abc\n", "data.txt:3:6: expected a number, found \"abc\""},
      {"0.1,1.5\n0.05,nan\n", "data.txt:2:6: expected a number, found \"nan\""},
      {"h,u\n0.1,1.5,2\n", "data.txt:2:9: the row has 3 fields, the header has 2"},
      {"0.1 1.5 2\n0.05 1.2\n", "data.txt:2:9: the row has 2 fields, the first row has 3"},
      {"h,u\n0.1,\n", "data.txt:2:5: empty field: a number is expected"},
      {"h,u\n0,1.5\n0.1,1.4\n", "data.txt:2:1: h must be a positive number, found 0"},
      {"h,u\n0.1,1.5\n-0.05,1.4\n", "data.txt:3:1: h must be a positive number, found -0.05"},
      {"h,u\n1e-9999,1.5\n", "data.txt:2:1: h must be a positive number, found 0"},
      {"h,u\n1e9999,1.5\n", "data.txt:2:1: the number does not fit a binary128 real: \"1e9999\""},
      {"h;u\n0,1;1,5\n", "data.txt:2:1: found \"0,1\" in a file separated by semicolons: the "
                         "decimal mark is a dot (0.1)"},
      {"0,1;1,5\n", "data.txt:1:1: found \"0,1\" in a file separated by semicolons: the decimal "
                    "mark is a dot (0.1)"},
      {"h,u\n0.1,1.5\n0.2,1.6\n0.10,1.7\n",
       "data.txt:4: the same h as line 2 (0.1): each grid needs an h of its own"},
      {"h,u\n", "data.txt: no data rows (a row per grid: h, then the value of each variable)"},
      {"# only a comment\n\n", "data.txt: no data rows (a row per grid: h, then the value of each "
                               "variable)"},
      {"h\n0.1\n", "data.txt:1:1: a row needs h and the value of at least one variable, found 1 "
                   "field"},
      {"\"h,u\n", "data.txt:1:1: a quoted field has no closing quote"},
      {"h,u\n0.1,1.5\n", "data.txt: 1 grid: a study needs at least two grids"},
      {"h \"a b\"x\n0.1 1\n", "data.txt:1:8: expected a blank after a quoted field, found \"x\""},
      {"h u\r0.4 1.16\r0.2 1.04\r0.1 1.01\r",
       "data.txt: lines end with CR only; save it with LF or CR LF line ends"},
      {"0.4,1.16\r0.2,1.04\r", "data.txt: lines end with CR only; save it with LF or CR LF "
                                "line ends"},
      {"h,u\n" + many_rows(11000), ""},
      {"h,u\n" + many_rows(11001), "data.txt:11002: more grids than a run takes (at most "
                                   "11000)"},
  };
  for (const Case& c : cases) {
    const std::string shown = c.text.substr(0, 40);
    Table table;
    const Status parsed = parse_table("data.txt", c.text, &table);
    if (c.message.empty()) {
      EXPECT_TRUE(parsed.ok()) << parsed.message();
      continue;
    }
    RunResult r = data_run(c.text, {});
    EXPECT_EQ(r.status.message(), c.message) << shown;
    EXPECT_EQ(r.console, "") << shown;
    EXPECT_TRUE(r.files.contents.empty()) << shown;
    // Read a block at a time, the same message.
    MemoryFiles files;
    files.contents["data.txt"] = c.text;
    std::unique_ptr<InputFile> in;
    ASSERT_TRUE(files.open("data.txt", &in).ok());
    EXPECT_EQ(read_table("data.txt", *in, &table).message(), parsed.message()) << shown;
  }
}

// A file of endless rows: refused at the row after the last grid a run
// takes, having read no further than that; a file too large for memory is
// a message too.
TEST(Table, ReadingStopsAtTheGridLimit) {
  class Endless : public InputFile {
   public:
    explicit Endless(bool fail) : fail_(fail) {}
    Status read_block(std::string* buffer, bool* end) override {
      if (fail_) throw std::bad_alloc();
      *end = false;
      for (int k = 0; k < 1000; ++k) *buffer += std::to_string(++rows_) + " 1.5\n";
      return Status::Ok();
    }
    int64_t rows_ = 0;
    bool fail_;
  };
  Table table;
  Endless endless(false);
  EXPECT_EQ(read_table("big.txt", endless, &table).message(),
            "big.txt:11001: more grids than a run takes (at most 11000)");
  EXPECT_LE(endless.rows_, 12000);
  Endless failing(true);
  EXPECT_EQ(read_table("big.txt", failing, &table).message(),
            "big.txt: not enough memory for the table");
}

// The name of the data file as given in the reports, however long (200
// bytes), control bytes spelled out; the title too.  The settings say what
// a table has: no layout and no nv of result files.
TEST(Table, ReportsNameTheFileAsGiven) {
  const std::string name = std::string(192, 'd') + "\xc3\xa9\x1b.csv";
  Options options;
  const Status parsed = parse_options({"--json", "-", "--csv", "r.csv", name}, &options);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  RunResult r;
  FakePlatform platform;
  MemoryFiles screen;
  std::unique_ptr<OutputFile> console;
  ASSERT_TRUE(screen.create("console", &console).ok());
  r.files.contents[name] = "h,u\x07,p\n" + rows(",", "\n");
  r.status = run_data(options, r.files, platform, *console);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const std::string shown = std::string(192, 'd') + "\xc3\xa9\\x1b.csv";
  const std::string json = screen.contents["console"];
  EXPECT_NE(json.find("\"result_files\": [\"" + std::string(192, 'd') + "\xc3\xa9\\\\x1b.csv\"]"),
            std::string::npos) << json;
  EXPECT_NE(json.find("  \"settings\": {\"pL\": 2, \"dp\": 1, \"tipo_r\": 1,"), std::string::npos)
      << json;
  EXPECT_NE(json.find("\"name\": \"u\\\\x07\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"title\": \"" + std::string(192, 'd')), std::string::npos) << json;
  EXPECT_NE(r.files.contents["r.csv"].find(",u\\x07,1,0.2,"), std::string::npos);
  EXPECT_NE(r.files.contents["r.csv"].find("," + shown + ","), std::string::npos);
}

// A data run's files are checked before anything is written; the advice
// names only files the run has (no listing without --output-dir).
TEST(Table, ClashesOfADataRun) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--json", "data.txt"},
       "the report file \"data.txt\" would overwrite the data file \"data.txt\"; rename one of "
       "them"},
      {{"--csv", "data.txt"},
       "the report file \"data.txt\" would overwrite the data file \"data.txt\"; rename one of "
       "them"},
      {{"--json", "a.json", "--csv", "a.json"},
       "the report file \"a.json\" is the same file as the report file \"a.json\"; rename one of "
       "them"},
      {{"--json", "a.json", "--csv", "a.csv"}, ""},
      // The listing's name is free: no listing is written here.
      {{"--json", "listagem.txt", "--csv", "a.csv"}, ""},
      {{"--json", "a.json", "--csv", "listagem.txt"}, ""},
  };
  for (const Case& c : cases) {
    RunResult r = data_run(rows(",", "\n"), c.args);
    EXPECT_EQ(r.status.ok() ? "" : r.status.message(), c.message) << c.args.back();
    EXPECT_EQ(r.files.contents.size(), c.message.empty() ? 2u : 0u) << c.args.back();
  }
}

TEST(Table, VariablesOfADataRun) {
  const std::string table = "h,u,p\n" + rows(",", "\n");
  const std::string expected =
      " (numbers from 1 to 100000 and ranges such as 1,3-5, or all)";
  struct Case {
    const char* list;
    std::string message;  // "" when the run is made
    const char* reported = "";  // the numbers of the summary's variables, in order
  } cases[] = {
      {"p,1", "", "2 1"},
      {"2-2,u", "", "2 1"},
      // Each once, where first named, by number or by name.
      {"1,1", "", "1"},
      {"u,1,u", "", "1"},
      {"p,2,1-2", "", "2 1"},
      {"q", "morvantide: --variables: no variable is named \"q\" (the header names u, p)"},
      {"3", "morvantide: --variables: variable 3 asked for, the table has 2"},
      {"1-100000", "morvantide: --variables: variable 3 asked for, the table has 2"},
      {"1-1000000", "morvantide: bad value for --variables: \"1-1000000\"" + expected},
      {"2-1", "morvantide: bad value for --variables: \"2-1\"" + expected},
  };
  for (const Case& c : cases) {
    RunResult r = data_run(table, {"--variables", c.list});
    EXPECT_EQ(r.status.ok() ? "" : r.status.message(), c.message) << c.list;
    std::string reported;
    const std::string lines = "\n" + r.console;
    for (size_t at = lines.find("\nvariable "); at != std::string::npos;
         at = lines.find("\nvariable ", at + 1)) {
      const size_t number = at + std::strlen("\nvariable ");
      const size_t end = lines.find_first_not_of("0123456789", number);
      reported += (reported.empty() ? "" : " ") + lines.substr(number, end - number);
    }
    EXPECT_EQ(reported, c.reported) << c.list << "\n" << r.console;
  }
}

TEST(Table, CellCounts) {
  // h = 1/N, 1/sqrt(N), 1/cbrt(N): k^D cells give 1/k, rounded once.
  struct Case {
    int32_t cells;
    const char* text;  // shuffled
    int32_t k[3];      // h = 1/k, coarse to fine
    int32_t tipo_r;
  } cases[] = {
      {1, "40 1.1\n10 1.5\n20 1.2\n", {10, 20, 40}, 1},
      {2, "N,u\n400,1.2\n100,1.5\n1600,1.1\n", {10, 20, 40}, 1},
      {3, "1000 1.5\n8000 1.2\n27000 1.1\n", {10, 20, 30}, 2},
      {3, "64 1.2\n8 1.5\n512 1.1\n", {2, 4, 8}, 1},
      {2, "9 1.5\n81 1.2\n729 1.1\n", {3, 9, 27}, 1},
  };
  for (const Case& c : cases) {
    Table table;
    ASSERT_TRUE(parse_table("cells", c.text, &table).ok()) << c.text;
    TableSettings settings;
    settings.cells = c.cells;
    TableStudy read;
    ASSERT_TRUE(study_from_table(table, settings, &read).ok()) << c.text;
    ASSERT_EQ(read.study.study.nm, 3) << c.text;
    for (int32_t i = 1; i <= 3; ++i) {
      EXPECT_TRUE(same_bits(read.study.study.h(i), 1 / q_from_int(c.k[i - 1])))
          << c.text << " grid " << i << ": " << shortest_decimal(read.study.study.h(i));
    }
    EXPECT_TRUE(read.study.columns[0].Th(1) == 1.5Q) << c.text;
    EXPECT_EQ(read.study.study.tipo_r, c.tipo_r) << c.text;
  }
  // Cell doubling is a constant ratio in every dimension, though the roots
  // of 2 differ in their last bits; an uneven refinement is not.
  struct Doubling {
    int32_t cells;
    const char* text;
    int32_t tipo_r;
  } doublings[] = {
      {1, "1e6 1.5\n2e6 1.2\n4e6 1.1\n8e6 1.05\n", 1},
      {2, "1e6 1.5\n2e6 1.2\n4e6 1.1\n8e6 1.05\n", 1},
      {3, "1e6 1.5\n2e6 1.2\n4e6 1.1\n8e6 1.05\n", 1},
      {3, "4000000 1.1\n1000000 1.5\n2000000 1.2\n", 1},  // shuffled
      {3, "1e6 1.5\n2e6 1.2\n4000001 1.1\n", 2},
  };
  for (const Doubling& c : doublings) {
    Table table;
    ASSERT_TRUE(parse_table("cells", c.text, &table).ok()) << c.text;
    TableSettings settings;
    settings.cells = c.cells;
    TableStudy read;
    ASSERT_TRUE(study_from_table(table, settings, &read).ok()) << c.text;
    EXPECT_EQ(read.study.study.tipo_r, c.tipo_r) << c.cells << ": " << c.text;
    EXPECT_TRUE(read.notes.empty()) << c.text;
  }
  // Every whole square and cube up to 10^5 cubed.
  for (int32_t k = 1; k <= 100000; k += 7) {
    const real K = q_from_int(k);
    ASSERT_TRUE(same_bits(h_of_cells(K * K, 2), 1 / K)) << k;
    ASSERT_TRUE(same_bits(h_of_cells(K * K * K, 3), 1 / K)) << k;
  }
}

TEST(Table, RatioAndSettings) {
  struct Case {
    std::vector<std::string> args;
    const char* text;
    int32_t tipo_r;
  } cases[] = {
      {{}, "0.4 1\n0.2 2\n0.1 3\n", 1},
      {{}, "0.4 1\n0.2 2\n0.09 3\n", 2},
      {{}, "0.4 1\n0.3 2\n", 1},  // one ratio: constant
      {{"--ratio", "variable"}, "0.4 1\n0.2 2\n0.1 3\n", 2},
      {{"--ratio=constant"}, "0.4 1\n0.2 2\n0.09 3\n", 1},
  };
  for (const Case& c : cases) {
    RunResult r = data_run(c.text, [&] {
      std::vector<std::string> a = c.args;
      a.insert(a.end(), {"--json", "-"});
      return a;
    }());
    ASSERT_TRUE(r.status.ok()) << c.text << r.status.message();
    EXPECT_NE(r.console.find("\"tipo_r\": " + std::to_string(c.tipo_r) + ","), std::string::npos)
        << c.text;
  }
  // Ratios within kRatioUlps units in the last place of the first are
  // constant; the notes a reader gives beside a sound study.
  const real third = 1 / 3.0Q;
  unsigned __int128 bits = 0;
  std::memcpy(&bits, &third, sizeof bits);
  auto nudged = [&](int ulps) {
    unsigned __int128 b = bits + static_cast<unsigned __int128>(ulps);
    real x;
    std::memcpy(&x, &b, sizeof x);
    return x;
  };
  struct Ratio {
    std::vector<real> h;  // coarse to fine
    TableSettings settings;
    int32_t tipo_r;
    const char* note;  // the start of the one note expected; "" for none
  } ratios[] = {
      {{1, third, third * third}, {}, 1, ""},
      {{1, third, third * nudged(kRatioUlps)}, {}, 1, ""},
      {{1, third, third * nudged(2 * kRatioUlps)}, {}, 2, ""},
      {{1, 0.5Q, 0.2Q}, [] { TableSettings t; t.ratio = RatioChoice::kConstant; return t; }(), 1,
       "--ratio constant: the ratios h(i-1)/h(i) differ from the first (2) by up to 0.250 of it"},
      {{1, 0.5Q, 0.25Q}, [] { TableSettings t; t.order_range_given = true; return t; }(), 1,
       "--order-range is unused: the ratio is constant"},
      {{1, 0.5Q, 0.2Q}, [] { TableSettings t; t.order_range_given = true; return t; }(), 2, ""},
  };
  for (const Ratio& c : ratios) {
    Table table;
    table.source = "t";
    table.columns = 2;
    for (size_t k = 0; k < c.h.size(); ++k) {
      table.rows.push_back({static_cast<int64_t>(k + 1), 1, {c.h[k], 1}, ""});
    }
    TableStudy read;
    ASSERT_TRUE(study_from_table(table, c.settings, &read).ok());
    EXPECT_EQ(read.study.study.tipo_r, c.tipo_r) << shortest_decimal(c.h[2]);
    ASSERT_EQ(read.notes.size(), *c.note ? 1u : 0u) << c.note;
    if (*c.note) {
      EXPECT_EQ(read.notes[0].rfind(c.note, 0), 0u) << read.notes[0];
    }
  }
  // Whole numbers that grow down the table, without --cells: a hint.
  for (const char* text : {"100 1.5\n200 1.2\n400 1.1\n", "0.4 1.5\n0.2 1.2\n0.1 1.1\n",
                           "400 1.5\n200 1.2\n100 1.1\n"}) {
    Table table;
    ASSERT_TRUE(parse_table("t", text, &table).ok());
    TableStudy read;
    ASSERT_TRUE(study_from_table(table, TableSettings(), &read).ok());
    const bool hint = text[0] == '1';
    ASSERT_EQ(read.notes.size(), hint ? 1u : 0u) << text;
    if (hint) {
      EXPECT_NE(read.notes[0].find("give --cells D"), std::string::npos);
    }
  }
  // The defaults read as the bundled example's parameter file reads them.
  TableSettings d;
  real tol = 0;
  ASSERT_EQ(parse_real("1.0E-12", &tol), RealText::kOk);
  EXPECT_TRUE(same_bits(d.tol, tol) && d.pL == 2 && d.dp == 1 && d.itmax == 50 &&
              d.pU_min == 0.5Q && d.pU_max == 5);
}

#ifndef _WIN32
// What a child writes on its standard error with a progress line asked for
// (shown when standard error is a terminal) over 300 ms: 1 of 4 variables
// done, and `steps` of 8 steps of each when `steps_each` is 8.  With
// `no_thread` the child runs as the user nobody with a limit of one process,
// so that the line's thread cannot start; `status` takes its exit status
// (-1 when it did not exit: a crash).
std::string progress_output(bool terminal, int64_t steps_each = 0, int64_t steps = 0,
                            bool no_thread = false, int* status = nullptr) {
  int master = -1, fds[2] = {-1, -1};
  pid_t pid;
  if (terminal) {
    pid = forkpty(&master, nullptr, nullptr, nullptr);
  } else {
    EXPECT_EQ(pipe(fds), 0);
    pid = fork();
    if (pid == 0) dup2(fds[1], STDERR_FILENO);
    master = fds[0];
  }
  if (pid == 0) {
    if (no_thread) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = 1;
      if (setgid(65534) != 0 || setuid(65534) != 0 || setrlimit(RLIMIT_NPROC, &limit) != 0) {
        _exit(3);
      }
    }
    {
      Progress p(4, steps_each, standard_error_is_terminal(), stderr, 0);
      if (no_thread && p.drawing()) _exit(4);
      p.work()->variables.store(1);
      p.work()->steps.store(steps);
      usleep(300000);
    }
    _exit(0);
  }
  if (fds[1] >= 0) close(fds[1]);
  std::string out;
  char buffer[256];
  ssize_t n;
  while ((n = read(master, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  close(master);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (status != nullptr) *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return out;
}

TEST(Progress, OnATerminalOnly) {
  EXPECT_NE(progress_output(true).find("\rmorvantide: 1 of 4 variables analysed (25%), 0 s"),
            std::string::npos);
  EXPECT_EQ(progress_output(false), "");
  EXPECT_EQ(progress_line(1, 3, 61), "morvantide: 1 of 3 variables analysed (33%), 61 s");
  EXPECT_EQ(progress_line(0, 1, 2), "morvantide: 0 of 1 variable analysed (0%), 2 s");
  EXPECT_EQ(progress_line(0, 1, 2, 42), "morvantide: 0 of 1 variable analysed (42%), 2 s");
  // A field counts points, of a total not known before the end for a table.
  EXPECT_EQ(progress_line(1, 4, 2, -1, "point"), "morvantide: 1 of 4 points analysed (25%), 2 s");
  EXPECT_EQ(progress_line(65536, -1, 3, -1, "point"), "morvantide: 65536 points analysed, 3 s");
  EXPECT_EQ(progress_line(1, -1, 0, -1, "point"), "morvantide: 1 point analysed, 0 s");
}

// The share counts the steps inside the analyses: 9 of 4 x 8 steps is 28%,
// more steps than promised never shows more than 100%.
TEST(Progress, ShareOfTheSteps) {
  struct Case {
    int64_t steps;
    const char* share;
  } cases[] = {{0, "(0%)"}, {9, "(28%)"}, {32, "(100%)"}, {40, "(100%)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steps);
    EXPECT_NE(progress_output(true, 8, c.steps).find(std::string("1 of 4 variables analysed ") +
                                                     c.share),
              std::string::npos);
  }
}

// Standard output on the terminal of the line: the line is wiped before the
// text comes, and not drawn again over a text left without its line end.
TEST(Progress, WipedBeforeStandardOutput) {
  std::FILE* terminal = std::tmpfile();
  ASSERT_NE(terminal, nullptr);
  class Shared : public OutputFile {
   public:
    explicit Shared(std::FILE* f) : f_(f) {}
    void write(std::string_view bytes) override { std::fwrite(bytes.data(), 1, bytes.size(), f_); }
    Status close() override { return Status::Ok(); }
    std::FILE* f_;
  } screen(terminal);
  {
    Progress progress(4, 8, true, terminal, 0);
    OutputBesideProgress out(screen, progress);
    while (std::ftell(terminal) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    out.write("variable 1\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    out.write("[1, 2]");
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
  }
  std::rewind(terminal);
  std::string text;
  char buffer[256];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, terminal)) > 0;) text.append(buffer, n);
  std::fclose(terminal);
  const std::string line = progress_line(0, 4, 0, 0);
  const std::string wiped = "\r" + std::string(line.size(), ' ') + "\r";
  EXPECT_EQ(text.substr(0, text.find("variable 1")), "\r" + line + wiped);
  EXPECT_EQ(text.substr(text.find("[1, 2]")), "[1, 2]") << text;
}

// With no thread to draw the line, the run goes on without it.
TEST(Progress, NoThreadNoLine) {
  if (geteuid() != 0) GTEST_SKIP() << "needs to become the user nobody";
  int status = -2;
  const std::string out = progress_output(true, 0, 0, true, &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("morvantide:"), std::string::npos);
}
#endif

}  // namespace
}  // namespace morvantide
