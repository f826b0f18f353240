// morvantide --field on files in memory: the outputs against the per-point
// path, the same bytes whatever the piece size, the float64 and decimal
// readers, and bad fields refused with their place and nothing written.
#include "run/field_run.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "common/files.h"
#include "field/field.h"
#include "field/field_input.h"
#include "field/npy.h"
#include "input/freeformat.h"
#include "run/options.h"

namespace morvantide {
namespace {

struct FieldRun {
  Status status;
  MemoryFiles files;
  std::string console;
};

FieldRun run_field_with(MemoryFiles files, const std::vector<std::string>& args,
                        int64_t piece = kFieldPiece) {
  FieldRun r;
  Options options;
  r.status = parse_options(args, &options);
  if (!r.status.ok()) return r;
  MemoryFiles screen;
  std::unique_ptr<OutputFile> console;
  EXPECT_TRUE(screen.create("console", &console).ok());
  r.status = run_field(options, files, *console, piece);
  console->close();
  r.files = std::move(files);
  r.console = screen.contents["console"];
  return r;
}

// A .npy of doubles with the given shape (C order).
std::string npy_of(const std::vector<int64_t>& shape, const std::vector<double>& values) {
  std::string dims;
  for (int64_t n : shape) dims += std::to_string(n) + ",";
  if (shape.size() > 1) dims.pop_back();
  std::string dict = "{'descr': '<f8', 'fortran_order': False, 'shape': (" + dims + "), }";
  while ((10 + dict.size() + 1) % 64 != 0) dict += ' ';
  dict += '\n';
  std::string out = "\x93NUMPY";
  out += '\x01';
  out += '\x00';
  out += static_cast<char>(dict.size() & 0xff);
  out += static_cast<char>(dict.size() >> 8);
  out += dict;
  out.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
  return out;
}

// A field of every kind of point on h = 0.4, 0.2, 0.1, 0.05 with coordinates.
std::string table_text(int points) {
  std::string text = "# a field\nx,y,0.4,0.2,0.1,0.05\n";
  for (int k = 0; k < points; ++k) {
    const double p = 0.5 + 0.1 * k;
    std::string row = std::to_string(k) + ",\"a,b\"";
    for (double h : {0.4, 0.2, 0.1, 0.05}) {
      double v = 1 + (k % 3 == 1 ? -1 : 1) * std::pow(h, k % 5 == 4 ? -p : p);
      if (k % 7 == 6) v = 2.5;  // constant
      char buffer[40];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
      row += "," + std::string(buffer, r.ptr);
    }
    text += row + "\r\n";
  }
  return text;
}

TEST(FieldRun, CsvOutputHoldsEachPointsFiguresAndIsTheSameForAnyPieceSize) {
  MemoryFiles files;
  files.contents["f.csv"] = table_text(40);
  std::vector<std::string> outputs;
  for (int64_t piece : {int64_t{1}, int64_t{7}, int64_t{40}, kFieldPiece}) {
    const FieldRun r =
        run_field_with(files, {"--field", "f.csv", "--output", "o.csv", "--json", "s.json"}, piece);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    outputs.push_back(r.files.contents.at("o.csv") + r.files.contents.at("s.json") + r.console);
  }
  for (size_t k = 1; k < outputs.size(); ++k) EXPECT_EQ(outputs[k], outputs[0]) << k;

  // Row by row: the coordinates as read, then the figures of the point.
  const std::string& csv = outputs[0];
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "x,y,Th,p_observed,p_U,Ti_pU,Tm1,U,U_relative,convergence,asymptotic,"
            "gci_dependable");
  Study grids;
  grids.pL = 2;
  grids.dp = 1;
  grids.tipo_r = 1;
  grids.nm = 4;
  grids.h.resize(4);
  const real h[] = {0.4Q, 0.2Q, 0.1Q, 0.05Q};
  for (int32_t i = 1; i <= 4; ++i) grids.h(i) = h[i - 1];
  const FieldGrids field(grids, false);
  size_t at = csv.find("\r\n") + 2;
  const std::string table = table_text(40);
  size_t row_at = table.find("\n", table.find("x,y")) + 1;
  for (int k = 0; k < 40; ++k) {
    const std::string row = csv.substr(at, csv.find("\r\n", at) - at);
    at = csv.find("\r\n", at) + 2;
    const std::string in = table.substr(row_at, table.find("\r\n", row_at) - row_at);
    row_at = table.find("\n", row_at) + 1;
    std::vector<real> values;
    size_t c = in.find("\",") + 2;
    while (c != std::string::npos + 1 && c <= in.size()) {
      const size_t end = in.find(',', c);
      real v;
      ASSERT_TRUE(read_decimal(in.substr(c, end == std::string::npos ? end : end - c), &v));
      values.push_back(v);
      c = end == std::string::npos ? std::string::npos + 1 : end + 1;
    }
    ASSERT_EQ(values.size(), 4u);
    const FieldPoint p = analyse_point(field, values.data());
    auto number = [](real x, bool present = false) {
      if (!present && x == kSentinel) return std::string("nan");
      char buffer[40];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, double_from_real(x));
      return std::string(buffer, r.ptr);
    };
    const std::string expected =
        std::to_string(k) + ",\"a,b\"," + number(p.Th, true) + "," + number(p.p_observed) + "," +
        number(p.p_U) + "," + number(p.Ti_pU) + "," + number(p.Tm1, true) + "," + number(p.U) +
        "," + number(p.U_relative) + "," + std::to_string(static_cast<int>(p.convergence)) + "," +
        std::to_string(static_cast<int>(p.asymptotic)) + "," + (p.dependable ? "1" : "0");
    EXPECT_EQ(row, expected) << "point " << k;
  }
}

TEST(FieldRun, NpyAndTheSameValuesInEveryTableFormGiveTheSameSummary) {
  // The values as .npy (read as repr() writes a double) and as tables of
  // their shortest digits: commas, tabs, semicolons, blanks, the columns in
  // another order, sizes from --h under a header of names, cell counts.
  std::vector<double> values;
  std::vector<std::string> texts;
  for (int k = 0; k < 30; ++k) {
    for (double h : {0.4, 0.2, 0.1}) {
      const double v = 0.1 * k + std::pow(h, 1 + 0.05 * k) * (k == 7 ? 1e20 : 1);
      values.push_back(v);
      char buffer[40];
      const auto r =
          std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific);
      texts.emplace_back(buffer, r.ptr);
    }
  }
  auto table = [&](const std::string& header, const std::string& sep, bool reversed) {
    std::string out = header + "\n";
    for (int k = 0; k < 30; ++k) {
      std::string row = "# point " + std::to_string(k) + "\n" + std::to_string(k);
      for (int c = 0; c < 3; ++c)
        row += sep + texts[static_cast<size_t>(3 * k + (reversed ? 2 - c : c))];
      out += row + "\r\n";
    }
    return out;
  };
  MemoryFiles files;
  files.contents["f.npy"] = npy_of({30, 3}, values);
  files.contents["comma.csv"] = table("id,0.4,0.2,0.1", ",", false);
  files.contents["tab.tsv"] = table("id\t0.4\t0.2\t0.1", "\t", false);
  files.contents["semicolon.csv"] = table("id;0.4;0.2;0.1", ";", false);
  files.contents["blank.txt"] = table("\xEF\xBB\xBFid   0.4 0.2  0.1", "  ", false);
  files.contents["reversed.csv"] = table("id,0.1,0.2,0.4", ",", true);
  files.contents["names.csv"] = table("id,\"u, coarse\",u_medium,u_fine", ",", false);
  files.contents["cells.csv"] = table("id,1000,8000,64000", ",", false);
  files.contents["t\xedtulo.npy"] = files.contents["f.npy"];
  const FieldRun a =
      run_field_with(files, {"--field", "t\xedtulo.npy", "--h", "0.4,0.2,0.1", "--json", "-"});
  ASSERT_TRUE(a.status.ok()) << a.status.message();
  // A name that is not UTF-8 is taken as Windows-1252, as every report does.
  EXPECT_NE(a.console.find("\"field\": \"t\xc3\xadtulo.npy\""), std::string::npos);
  const std::string expected = a.console.substr(a.console.find("\"points\""));
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--field", "comma.csv"},
                                             {"--field", "tab.tsv"},
                                             {"--field", "semicolon.csv"},
                                             {"--field", "blank.txt"},
                                             {"--field", "reversed.csv"},
                                             {"--field", "names.csv", "--h", "0.4,0.2,0.1"}}) {
    std::vector<std::string> with_json = args;
    with_json.insert(with_json.end(), {"--json", "-"});
    const FieldRun b = run_field_with(files, with_json);
    ASSERT_TRUE(b.status.ok()) << args[1] << ": " << b.status.message();
    EXPECT_EQ(b.console.substr(b.console.find("\"points\"")), expected) << args[1];
  }
  // Cell counts in 3-D: h = 0.1, 0.05, 0.025, a constant ratio as 0.4, 0.2, 0.1.
  const FieldRun c = run_field_with(files, {"--field", "cells.csv", "--cells", "3", "--json", "-"});
  ASSERT_TRUE(c.status.ok()) << c.status.message();
  EXPECT_NE(c.console.find("\"ratio\": \"constant\""), std::string::npos);
  // Every figure but the sizes themselves is the same as with h.
  auto figures = [](const std::string& json) {
    const size_t from = json.find("\"convergence\"");
    return json.substr(from, json.find("\"state\"") - from);
  };
  EXPECT_EQ(figures(c.console), figures(a.console));
}

// The summary as the terminal shows it: counts in words that fit them, and
// a file's name with its control bytes spelled out.
TEST(FieldRun, SummaryTextOfOnePoint) {
  MemoryFiles files;
  const std::string name = "f\x1b[2J.csv";
  files.contents[name] = "x,0.4,0.2,0.1\n0,1.16,1.04,1.01\n";
  const FieldRun r = run_field_with(files, {"--field", name});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const std::string expected =
      "Field f\\x1b[2J.csv: 1 point on 3 grids (constant ratio, formal order 2)\n"
      "  monotonic convergence: 1 (100.00 %)\n"
      "  oscillatory convergence: 0 (0.00 %)\n"
      "  monotonic divergence: 0 (0.00 %)\n"
      "  oscillatory divergence: 0 (0.00 %)\n"
      "  undetermined: 0 (0.00 %)\n"
      "Observed order at 1 point: min 2, max 2, average 2\n"
      "Orders from the norms of the last grid differences: L1 2, L2 2, max 2\n"
      "U at 1 point: max 0.0125, mean 0.0125; relative to |Th|: max 1.238 %, mean 1.238 %\n"
      "Points without a dependable U: 0 (0.00 %)\n";
  EXPECT_EQ(r.console, expected);
}

TEST(FieldRun, BadFieldsAreRefusedWithTheirPlaceAndNothingIsWritten) {
  const std::string npy_1d = npy_of({3}, {1, 2, 3});
  const std::string npy_nan = npy_of({2, 3}, {1, 2, 3, 1, std::nan(""), 3});
  const std::string npy_ok = npy_of({2, 3}, {1, 2, 3, 1, 2, 4});
  struct Case {
    const char* what;
    std::string field;  // the content of f.csv or f.npy
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"ragged row",
       "x,0.4,0.2,0.1\n1,2,3,4\n1,2,3\n",
       {"--field", "f.csv"},
       "f.csv:3:5: the row has 3 fields, the first row has 4"},
      {"a row too long",
       "0.4,0.2,0.1\n2,3,4\n2,3,4,5\n",
       {"--field", "f.csv"},
       "f.csv:3:7: the row has 4 fields, the first row has 3"},
      {"NaN",
       "x,0.4,0.2,0.1\n1,2,NaN,4\n",
       {"--field", "f.csv"},
       "f.csv:2:5: expected a number, found \"NaN\""},
      {"empty value",
       "0.4\t0.2\t0.1\n2\t\t4\n",
       {"--field", "f.csv"},
       "f.csv:2:3: expected a number, found an empty field"},
      {"two grids",
       "x,0.4,0.2\n1,2,3\n",
       {"--field", "f.csv"},
       "a field needs at least 3 grids, found 2"},
      {"no sizes", "x,y,z\n1,2,3\n", {"--field", "f.csv"}, "f.csv:1:1: the first row names no"},
      {"--h fewer than columns is fine, more is not",
       "1,2\n",
       {"--field", "f.csv", "--h", "0.4,0.2,0.1"},
       "f.csv:1:1: the row has 2 fields, fewer than the 3 grid sizes of --h"},
      {"the same size twice", "0.4,0.2,0.2\n1,2,3\n", {"--field", "f.csv"}, "0.2"},
      {"no points", "0.4,0.2,0.1\n# nothing\n", {"--field", "f.csv"}, "the field has no points"},
      {"lines that end with CR alone",
       "x,0.4,0.2,0.1\r1,2,3,4\r2,3,4,5\r",
       {"--field", "f.csv"},
       "f.csv: lines end with CR only; save it with LF or CR LF line ends"},
      {"CR LF line ends are fine, a CR alone at the end too",
       "x,0.4,0.2\r\n1,2,3\r",
       {"--field", "f.csv"},
       "a field needs at least 3 grids, found 2"},
      {"1-D array",
       npy_1d,
       {"--field", "f.npy", "--h", "0.4,0.2,0.1"},
       "f.npy: the array has 1 dimensions; a field is a 2-D array"},
      {"NaN in .npy",
       npy_nan,
       {"--field", "f.npy", "--h", "0.4,0.2,0.1"},
       "f.npy: point 1 (row 1 from 0), column 1: NaN is not a value"},
      {"sizes that do not match",
       npy_ok,
       {"--field", "f.npy", "--h", "0.4,0.2,0.1,0.05"},
       "f.npy: the array has 3 columns (grids) and --h gives 4 sizes"},
      {".npy without --h", npy_ok, {"--field", "f.npy"}, "are given with --h"},
      {"a short .npy",
       npy_ok.substr(0, npy_ok.size() - 8),
       {"--field", "f.npy", "--h", "0.4,0.2,0.1"},
       "the file ends before the 2 x 3 values"},
      {"output on the input",
       "0.4,0.2,0.1\n1,2,3\n",
       {"--field", "f.csv", "--output", "f.csv"},
       "f.csv"},
      {"option of a field alone", "", {"--h", "1,2,3"}, "--h goes with --field"},
      {"bad --output", "", {"--field", "f.csv", "--output", "o.txt"}, "a file name ending in .npz"},
      {"--target", "", {"--field", "f.csv", "--target", "1"}, "--target does not go with --field"},
  };
  for (const Case& c : cases) {
    MemoryFiles files;
    const std::string name = c.field.compare(0, 6, "\x93NUMPY") == 0 ? "f.npy" : "f.csv";
    files.contents[name] = c.field;
    files.contents["old.npz"] = "old";
    files.contents["old.json"] = "old";
    std::vector<std::string> args = c.args;
    if (c.what != std::string("output on the input") && c.args.size() > 1 &&
        c.args[0] == "--field" && c.message.find("--output") == std::string::npos) {
      for (const char* a : {"--output", "old.npz", "--json", "old.json"}) args.push_back(a);
    }
    const FieldRun r = run_field_with(files, args);
    ASSERT_FALSE(r.status.ok()) << c.what;
    EXPECT_NE(r.status.message().find(c.message), std::string::npos)
        << c.what << ": " << r.status.message();
    if (r.files.contents.empty()) continue;  // refused before the run
    EXPECT_EQ(r.files.contents.at("old.npz"), "old") << c.what;
    EXPECT_EQ(r.files.contents.at("old.json"), "old") << c.what;
    EXPECT_EQ(r.files.contents.size(), 3u) << c.what;
    EXPECT_EQ(r.console, "") << c.what;
  }
}

TEST(FieldNumbers, DecimalsAndDoublesReadAsTheReaderReadsTheirText) {
  // read_decimal's short path against parse_real, on both sides of its limits.
  for (const char* text :
       {"0.1", "-2.5", "1e-48", "1e-49", "1e48", "1e49", "1.5D3", "-0", "00012.5000",
        "1234567890123456789", "12345678901234567890", "0.00000000000000000001234567890123456789",
        "1e+5", "7E-3", "3.0000000000000000001"}) {
    real fast = 0, slow = 0;
    ASSERT_TRUE(read_decimal(text, &fast)) << text;
    ASSERT_EQ(parse_real(text, &slow), RealText::kOk) << text;
    EXPECT_TRUE(same_bits(fast, slow)) << text;
  }
  real x;
  for (const char* bad : {"", "abc", "1,5", "NaN", "inf", "1e", "--1"}) {
    EXPECT_FALSE(read_decimal(bad, &x)) << bad;
  }
  // A double as the shortest decimal that gives it back (0.1 is 0.1), as
  // repr() writes it: 2.1394512495304323e+18, not 2139451249530432256.
  for (double d : {0.1, -2.5, 1e300, 5e-324, 2.2250738585072014e-308, 1.2345678901234568e17,
                   0.30000000000000004, 123.0, 2.1394512495304323e+18, 1e22}) {
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::scientific);
    real expected = 0;
    ASSERT_EQ(parse_real(std::string(buffer, r.ptr), &expected), RealText::kOk);
    EXPECT_TRUE(same_bits(real_from_double(d), expected)) << buffer;
    EXPECT_EQ(double_from_real(real_from_double(d)), d) << buffer;
  }
}

}  // namespace
}  // namespace morvantide
