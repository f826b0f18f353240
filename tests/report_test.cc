// The JSON and CSV reports read back by Python's own parsers (json and csv,
// through tests/report_read.py), every number checked to carry the very bits
// of an estimation computed here on the same study; the summary and the
// report files in a whole run held in memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/decimal.h"
#include "common/parallel.h"
#include "core/estimation.h"
#include "core/least_squares.h"
#include "lines_testing.h"
#include "platform_testing.h"
#include "report/results.h"
#include "run/options.h"
#include "run/run.h"
#include "run_testing.h"

namespace morvantide {
namespace {

namespace fs = std::filesystem;

constexpr real S = kSentinel;

std::string text_of(real x) {
  char buf[80];
  quadmath_snprintf(buf, sizeof buf, "%.40Qe", x);  // reads back exactly
  return buf;
}

// A layout-1 study of four variables on nm grids of ratio 1.6:
//   1 "u_centro"   1 + 0.5 h^2 + 0.1 h^3     monotonic convergence
//   2 "p,q"        2 + (-1)^i h^2            oscillating
//   3 "say "hi""   5                          constant (no ratios)
//   4 "w"          1 / h                      diverging
struct Study4 {
  int32_t nm;
  std::vector<real> h;
  std::vector<std::vector<real>> Th;  // [variable][grid]
  std::vector<std::string> names{"u_centro", "p,q", "say \"hi\"", "w"};

  explicit Study4(int32_t n, bool equal_spacing = false) : nm(n), Th(4) {
    for (int32_t i = 1; i <= nm; ++i) {
      real hi = 0.2Q / q_pow(1.6Q, q_from_int(i - 1));
      if (equal_spacing && i == 3) hi = h.back();  // r21 = 1 at grid 3
      h.push_back(hi);
      Th[0].push_back(1 + 0.5Q * hi * hi + 0.1Q * hi * hi * hi);
      Th[1].push_back(2 + (i % 2 ? -1 : 1) * hi * hi);
      Th[2].push_back(5);
      Th[3].push_back(1 / hi);
    }
  }

  MemoryFiles files(int32_t nv = 2) const {
    MemoryFiles f;
    f.contents["Morvantide_4p0.in"] = "1\r\nparam_n.txt\r\nparam1.txt\r\n";
    f.contents["param1.txt"] = std::to_string(nv) +
                               "\r\nlista.txt\r\n2\r\n1\r\n1\r\n50\r\n1.0E-12\r\n0.5\r\n5.0\r\n" +
                               std::to_string(nm) + "\r\ndados.txt\r\n'T\xedtulo \"x\"'\r\n";
    std::string data = "h u_centro 'p,q' \"say \"\"hi\"\"\" w\r\n";
    for (int32_t i = 0; i < nm; ++i) {
      data += text_of(h[i]);
      for (int v = 0; v < 4; ++v) data += " " + text_of(Th[v][i]);
      data += "\r\n";
    }
    f.contents["dados.txt"] = data;
    return f;
  }

  Study study(int v) const {
    Study s;
    s.pL = 2;
    s.dp = 1;
    s.tipo_r = 1;
    s.itmax = 50;
    s.tol = 1.0e-12Q;
    s.pU_min = 0.5Q;
    s.pU_max = 5;
    s.nm = nm;
    s.h.resize(nm);
    s.Th.resize(nm);
    for (int32_t i = 1; i <= nm; ++i) {
      s.h(i) = h[i - 1];
      s.Th(i) = Th[v][i - 1];
    }
    return s;
  }
};

// The state's lists under their names, with the first grid each can hold a
// value at.
struct Named {
  const char* name;
  RealList Estimates::*list;
  int32_t first;
};
const Named kLists[] = {
    {"pUs_Th", &Estimates::pUs_Th, 3},   {"pUs_Tm1", &Estimates::pUs_Tm1, 4},
    {"pUs_Tc", &Estimates::pUs_Tc, 5},   {"pUs_Ti", &Estimates::pUs_Ti, 5},
    {"pUs_Tbi", &Estimates::pUs_Tbi, 7}, {"psi_Th", &Estimates::psi_Th, 3},
    {"psi_Tm1", &Estimates::psi_Tm1, 4}, {"psi_Tc", &Estimates::psi_Tc, 5},
    {"psi_Ti", &Estimates::psi_Ti, 5},   {"psi_Tbi", &Estimates::psi_Tbi, 7},
    {"Tm1", &Estimates::Tm1, 2},         {"Tc", &Estimates::Tc, 3},
    {"UGCI_Th", &Estimates::UGCI_Th, 2}, {"Umc_Th", &Estimates::Umc_Th, 2},
    {"Um_Tm1", &Estimates::Um_Tm1, 2},   {"Uc_Tc", &Estimates::Uc_Tc, 3},
    {"pU_Th", &Estimates::pU_Th, 3},     {"pGCI", &Estimates::pGCI, 2},
    {"Ti_pL", &Estimates::Ti_pL, 2},     {"Ti_pU", &Estimates::Ti_pU, 3},
    {"Ti_pUs", &Estimates::Ti_pUs, 3},   {"pU_Ti", &Estimates::pU_Ti, 5},
    {"Tbi_pUs", &Estimates::Tbi_pUs, 5},
};

// What Python found: KIND and TEXT by path (JSON) or by "row/column" (CSV).
struct Parsed {
  bool ok = false;
  std::string error;
  std::map<std::string, std::pair<std::string, std::string>> values;
};

Parsed python_read(const std::string& kind, const std::string& content) {
  Parsed p;
  const fs::path dir =
      fs::temp_directory_path() / ("morvantide_report_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / ("report." + kind);
  std::ofstream(file, std::ios::binary) << content;
  const std::string command = "python3 '" MORVANTIDE_SOURCE_DIR "/tests/report_read.py' " + kind +
                              " '" + file.string() + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  if (pipe) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    p.ok = pclose(pipe) == 0;
  }
  fs::remove_all(dir);
  if (!p.ok) {
    p.error = out;
    return p;
  }
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = out.find('\n', start);
    const std::string line = out.substr(start, end - start);
    start = end == std::string::npos ? out.size() : end + 1;
    const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
    if (kind == "json") {
      p.values[line.substr(0, t1)] = {line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)};
    } else {
      p.values[line.substr(0, t1) + "/" + line.substr(t1 + 1, t2 - t1 - 1)] = {"",
                                                                               line.substr(t2 + 1)};
    }
  }
  return p;
}

// A parsed number against the expected value: the same bits, with the
// missing value as null and non-finite values as their words.
::testing::AssertionResult carries(const std::pair<std::string, std::string>& found, real expected,
                                   bool missing) {
  const std::string& kind = found.first;
  const std::string& text = found.second;
  if (missing) {
    if (kind == "null" || (kind.empty() && text.empty())) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected null, found " << kind << " " << text;
  }
  if (q_isnan(expected) || q_isinf(expected)) {
    const std::string word = q_isnan(expected) ? "nan" : q_signbit(expected) ? "-inf" : "inf";
    if ((kind == "str" || kind.empty()) && text == word) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "expected " << word << ", found " << kind << " " << text;
  }
  if (kind != "num" && !kind.empty()) {
    return ::testing::AssertionFailure() << "expected a number, found " << kind << " " << text;
  }
  char* end = nullptr;
  const real back = strtoflt128(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !same_bits(back, expected)) {
    return ::testing::AssertionFailure()
           << "\"" << text << "\" does not read back to " << q_to_string(expected);
  }
  return ::testing::AssertionSuccess();
}


// Every list of every variable, against an estimation of our own.
TEST(JsonReport, ParsedAndEveryNumberReadsBack) {
  for (bool equal_spacing : {false, true}) {
    SCOPED_TRACE(equal_spacing ? "a repeated spacing (inf and nan)" : "smooth spacings");
    const Study4 data(8, equal_spacing);
    RunResult r = run_with(data.files(), {"--variables=all", "--json", "r.json", "--csv", "r.csv",
                                          "--target=0.1%"});
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    const Parsed p = python_read("json", r.files.contents["r.json"]);
    ASSERT_TRUE(p.ok) << p.error;
    auto at = [&](const std::string& path) {
      auto it = p.values.find(path);
      return it == p.values.end() ? std::pair<std::string, std::string>{"absent", path}
                                  : it->second;
    };
    // Texts in UTF-8: the title's Windows-1252 i-acute and quotes.
    EXPECT_EQ(at("title").second, "T\xc3\xadtulo \"x\"");
    EXPECT_EQ(at("settings/nm").second, "8");
    EXPECT_TRUE(carries(at("settings/tol"), 1.0e-12Q, false));
    EXPECT_EQ(at("grids/result_files/0").second, "dados.txt");
    bool non_finite_seen = false;
    for (int32_t i = 1; i <= data.nm; ++i) {
      const std::string g = "/" + std::to_string(i - 1);
      EXPECT_TRUE(carries(at("grids/h" + g), data.h[i - 1], false));
      EXPECT_TRUE(carries(at("grids/log10_h" + g), log10q(data.h[i - 1]), false));
      EXPECT_TRUE(carries(at("grids/r21" + g), i > 1 ? data.h[i - 2] / data.h[i - 1] : 0, i == 1));
    }
    for (int v = 0; v < 4; ++v) {
      SCOPED_TRACE("variable " + std::to_string(v + 1));
      const std::string base = "variables/" + std::to_string(v) + "/";
      EXPECT_EQ(at(base + "number").second, std::to_string(v + 1));
      EXPECT_EQ(at(base + "name").second, data.names[v]);
      const Estimates e = estimativa(data.study(v));
      for (int32_t i = 1; i <= data.nm; ++i) {
        const std::string g = "/" + std::to_string(i - 1);
        EXPECT_TRUE(carries(at(base + "Th" + g), data.Th[v][i - 1], false)) << "Th" << g;
        for (const Named& l : kLists) {
          const real x = (e.*l.list)(i);
          non_finite_seen |= i >= l.first && (q_isnan(x) || q_isinf(x));
          EXPECT_TRUE(carries(at(base + l.name + g), x, i < l.first || x == S)) << l.name << g;
        }
      }
    }
    EXPECT_EQ(non_finite_seen, equal_spacing);
    // The sentinel is never written as a number.
    for (const auto& [path, value] : p.values) {
      EXPECT_FALSE(value.first == "num" && value.second.find("100000000000") == 0) << path;
    }
    // The verdict words of each variable at grid 3 and the finest grid.
    const char* words[] = {"monotonic convergence", "oscillatory convergence", "undetermined",
                           "monotonic divergence"};
    for (int v = 0; v < 4; ++v) {
      const std::string base = "variables/" + std::to_string(v) + "/verdict/";
      if (!equal_spacing) {
        EXPECT_EQ(at(base + "convergence/2").second, words[v]);
      }
      EXPECT_EQ(at(base + "convergence/7").second, words[v]);
      EXPECT_EQ(at(base + "convergence/0").first, "null");
      EXPECT_EQ(at(base + "finest/convergence").second, words[v]);
      EXPECT_EQ(at(base + "finest/gci_dependable").first, v == 0 ? "true" : "false");
    }
    // The finest grid's object: every key by name, nothing more, each value
    // the one its list holds at the finest grid ("" for those read here).
    const struct {
      const char* key;
      const char* list;  // under the variable, "grids/" for the grids' lists
    } finest_keys[] = {
        {"grid", ""},
        {"h", "grids/h"},
        {"Th", "Th"},
        {"UGCI_Th", "UGCI_Th"},
        {"convergence", "verdict/convergence"},
        {"asymptotic", ""},
        {"U", "verdict/U"},
        {"U_source", "verdict/U_source"},
        {"U_relative", "verdict/U_relative"},
        {"U_note", "verdict/U_note"},
        {"gci_dependable", "verdict/gci_dependable"},
        {"p_observed", "verdict/p_observed"},
        {"p_U", "verdict/p_U"},
        {"pU_Th", "pU_Th"},
        {"pGCI", "pGCI"},
        {"Umc_Th", "Umc_Th"},
        {"Um_Tm1", "Um_Tm1"},
        {"Uc_Tc", "Uc_Tc"},
        {"Tm1", "Tm1"},
        {"Ti_pU", "Ti_pU"},
        {"U_LS", "U_LS"},
        {"model_LS", "model_LS"},
        {"Fs_LS", "Fs_LS"},
        {"target/U", "verdict/target"},
        {"target/h_target", "verdict/h_target"},
        {"target/refinement_factor", "verdict/refinement_factor"},
        {"target/within_target", "verdict/within_target"},
        {"grid_order_warning", ""},
    };
    const std::string last = "/" + std::to_string(data.nm - 1);
    for (int v = 0; v < 4; ++v) {
      SCOPED_TRACE("finest of variable " + std::to_string(v + 1));
      const std::string base = "variables/" + std::to_string(v) + "/";
      const std::string finest = base + "verdict/finest/";
      std::set<std::string> keys;
      for (const auto& [path, value] : p.values) {
        if (path.rfind(finest, 0) == 0) keys.insert(path.substr(finest.size()));
      }
      std::set<std::string> expected;
      for (const auto& k : finest_keys) {
        expected.insert(k.key);
        if (*k.list == 0) continue;
        const std::string list =
            std::string(k.list).rfind("grids/", 0) == 0 ? k.list : base + k.list;
        EXPECT_EQ(at(finest + k.key), at(list + last)) << k.key;
      }
      EXPECT_EQ(keys, expected);
      EXPECT_EQ(at(finest + "grid"), (std::pair<std::string, std::string>{"num", "8"}));
      // The list says true / false / null, the object the words.
      const std::string in_range = at(base + "verdict/asymptotic" + last).first;
      EXPECT_EQ(at(finest + "asymptotic").second, in_range == "true"    ? "asymptotic range"
                                                  : in_range == "false" ? "not yet asymptotic"
                                                                        : "undetermined");
      EXPECT_EQ(at(finest + "grid_order_warning").first, equal_spacing ? "str" : "null");
    }
  }
}

// The CSV read by Python's csv module: the header, one row per variable and
// grid, names with a comma and quotes intact, every value as in the JSON.
TEST(CsvReport, ReadBackAgreesWithJson) {
  const Study4 data(6);
  RunResult r = run_with(data.files(), {"--variables", "4,1-3", "--json=r.json", "--csv=r.csv"});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const Parsed json = python_read("json", r.files.contents["r.json"]);
  const Parsed csv = python_read("csv", r.files.contents["r.csv"]);
  ASSERT_TRUE(json.ok) << json.error;
  ASSERT_TRUE(csv.ok) << csv.error;

  const std::vector<std::string> leading = {"variable", "name", "grid", "h",
                                            "log10_h",  "r21",  "file"};
  const std::vector<std::string> quantities = {
      "pUs_Th", "pUs_Tm1", "pUs_Tc", "pUs_Ti", "pUs_Tbi", "psi_Th",  "psi_Tm1", "psi_Tc",
      "psi_Ti", "psi_Tbi", "Th",     "Tm1",    "Tc",      "UGCI_Th", "Umc_Th",  "Um_Tm1",
      "Uc_Tc",  "pU_Th",   "pGCI",   "Ti_pL",  "Ti_pU",   "Ti_pUs",  "pU_Ti",   "Tbi_pUs",
      "U_LS",   "p_LS",    "T0_LS",  "sigma_LS", "Delta_LS", "model_LS", "Fs_LS"};
  const std::vector<std::string> verdicts = {
      "convergence", "U",      "U_source", "gci_dependable",    "order_ratio",  "gci_ratio",
      "asymptotic",  "target", "h_target", "refinement_factor", "within_target",
      "p_observed",  "p_U",    "U_relative", "U_note"};
  std::vector<std::string> header = leading;
  header.insert(header.end(), quantities.begin(), quantities.end());
  header.insert(header.end(), verdicts.begin(), verdicts.end());
  for (size_t c = 0; c < header.size(); ++c) {
    EXPECT_EQ(csv.values.at("0/" + std::to_string(c)).second, header[c]) << c;
  }
  EXPECT_EQ(csv.values.count("0/" + std::to_string(header.size())), 0u);
  EXPECT_EQ(csv.values.count("25/0"), 0u);  // 4 variables x 6 grids

  const int order[] = {4, 1, 2, 3};  // as listed
  for (int k = 0; k < 4; ++k) {
    const std::string jbase = "variables/" + std::to_string(k) + "/";
    for (int32_t i = 1; i <= data.nm; ++i) {
      const std::string row = std::to_string(k * data.nm + i) + "/";
      auto cell = [&](size_t c) { return csv.values.at(row + std::to_string(c)).second; };
      EXPECT_EQ(cell(0), std::to_string(order[k]));
      EXPECT_EQ(cell(1), data.names[order[k] - 1]);
      EXPECT_EQ(cell(2), std::to_string(i));
      EXPECT_TRUE(carries({"", cell(3)}, data.h[i - 1], false));
      EXPECT_EQ(cell(6), "dados.txt");
      for (size_t q = 0; q < quantities.size() + verdicts.size(); ++q) {
        const bool is_verdict = q >= quantities.size();
        const std::string& name = is_verdict ? verdicts[q - quantities.size()] : quantities[q];
        const auto& j = json.values.at(jbase + (is_verdict ? "verdict/" : "") + name + "/" +
                                       std::to_string(i - 1));
        const std::string c = cell(leading.size() + q);
        if (j.first == "null") {
          EXPECT_EQ(c, "") << name << " grid " << i;
        } else if (j.first == "num") {
          // Both texts read back to the same bits.
          EXPECT_TRUE(
              same_bits(strtoflt128(c.c_str(), nullptr), strtoflt128(j.second.c_str(), nullptr)))
              << name << " grid " << i << ": " << c << " vs " << j.second;
        } else {
          EXPECT_EQ(c, j.first == "str" ? j.second : j.first) << name << " grid " << i;
        }
      }
    }
  }
}

// The summary of the default variable (nv) and of a list, on the console.
TEST(SummaryReport, OneBlockPerVariable) {
  const Study4 data(5);
  RunResult r = run_with(data.files(), {"--summary"});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.console.rfind("variable 2 \"p,q\": 5 grids, finest h = ", 0), 0u) << r.console;
  EXPECT_NE(r.console.find("oscillatory convergence: U is not a dependable bound"),
            std::string::npos);
  r = run_with(data.files(), {"--summary", "--variables", "1,4"});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const size_t second = r.console.find("\n\nvariable 4 \"w\": ");
  EXPECT_EQ(r.console.rfind("variable 1 \"u_centro\": ", 0), 0u) << r.console;
  EXPECT_NE(second, std::string::npos) << r.console;
}

// A value of exactly 1e11 that is data (Th) or always computed (Tm1, Ti_pL)
// is a number in every form of the report, as the listing prints it; "not
// computed" stays missing.
TEST(ReportValues, SentinelValuedDataIsNotMissing) {
  Study4 data(5);
  for (int32_t i = 0; i < data.nm; ++i) data.Th[0][i] = 1.0e11Q;
  RunResult r = run_with(data.files(1), {"--summary", "--json", "r.json", "--csv", "r.csv",
                                         "--variables", "1"});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const std::string json = r.files.contents["r.json"];
  struct Row {
    const char* list;
    const char* expected;  // the start of its JSON line
  } rows[] = {
      {"Th", "\"Th\": [100000000000, 100000000000,"},
      {"Tm1", "\"Tm1\": [null, 100000000000,"},
      {"Ti_pL", "\"Ti_pL\": [null, 100000000000,"},
      {"Tc", "\"Tc\": [null, null, null,"},  // never computed: psi 0/0
  };
  for (const Row& row : rows) {
    EXPECT_NE(json.find(row.expected), std::string::npos) << row.list << "\n" << json;
  }
  EXPECT_NE(json.find("\"Tm1\": 100000000000,"), std::string::npos) << json;
  EXPECT_NE(r.console.find("Th = 1.00000e+11"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("Tm1 = 1.00000e+11"), std::string::npos) << r.console;
  const std::vector<std::string> csv = lines_of(r.files.contents["r.csv"]);
  ASSERT_GE(csv.size(), 2u);
  EXPECT_NE(csv[1].find(",100000000000,"), std::string::npos) << csv[1];
}

// The report files join the check that no output overwrites an input or
// another output; nothing at all is written when they clash.
// The variables are analysed on the threads a batch at a time; the report
// is the same, byte for byte, on any number of threads, whether the
// variables fit in one batch or need several.
// Each reported variable is analysed once per run, and variable nv is
// analysed once for the listing, its plot files, U_LS.dat and the report.
TEST(OneAnalysis, OnePerReportedVariable) {
  const Study4 data(6);
  struct Case {
    std::vector<std::string> args;
    int32_t nv;
    int64_t analyses;
  } cases[] = {
      {{}, 2, 1},
      {{"--plot-least-squares"}, 2, 1},
      {{"--summary"}, 2, 1},
      {{"--summary", "--json", "r.json", "--csv", "r.csv", "--plot-least-squares"}, 2, 1},
      {{"--json", "r.json", "--variables", "2"}, 2, 1},
      {{"--summary", "--variables", "1,3"}, 2, 3},  // nv is not reported
      {{"--csv", "r.csv", "--variables", "all"}, 1, 4},
      {{"--csv", "r.csv", "--variables", "all", "--plot-least-squares"}, 4, 4},
  };
  for (const Case& c : cases) {
    std::string row = "nv " + std::to_string(c.nv) + ":";
    for (const std::string& a : c.args) row += " " + a;
    SCOPED_TRACE(row);
    const int64_t before = analyse_calls();
    const RunResult r = run_with(data.files(c.nv), c.args);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(analyse_calls() - before, c.analyses);
  }
}

TEST(ReportOnThreads, SameReportOnAnyNumberOfThreads) {
  const Study4 data(7);
  MemoryFiles files = data.files(1);
  std::string header = "h";
  std::string rows;
  constexpr int kCopies = 6;  // 24 variables
  for (int c = 0; c < kCopies; ++c) {
    for (int v = 0; v < 4; ++v) header += " v" + std::to_string(4 * c + v + 1);
  }
  for (int32_t i = 0; i < data.nm; ++i) {
    rows += text_of(data.h[i]);
    for (int c = 0; c < kCopies; ++c) {
      // Each copy scaled differently, so that no two variables agree.
      for (int v = 0; v < 4; ++v) rows += " " + text_of(data.Th[v][i] * (1 + real(c) / 8));
    }
    rows += "\r\n";
  }
  files.contents["dados.txt"] = header + "\r\n" + rows;
  const std::vector<std::string> args = {"--summary", "--json", "r.json", "--csv",
                                         "r.csv",     "--variables", "all"};
  set_thread_count(1);
  const RunResult one = run_with(files, args);
  ASSERT_TRUE(one.status.ok()) << one.status.message();
  for (int threads : {2, 3, 7}) {
    set_thread_count(threads);
    const RunResult many = run_with(files, args);
    EXPECT_EQ(many.console, one.console) << threads << " threads";
    EXPECT_EQ(many.files.contents, one.files.contents) << threads << " threads";
  }
  set_thread_count(0);
  EXPECT_NE(one.console.find("variable 24"), std::string::npos);
}

TEST(ReportFiles, ClashesAreRefusedBeforeAnyOutput) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--json", "dados.txt"},
       "the report file \"dados.txt\" would overwrite the result file \"dados.txt\"; rename one of "
       "them"},
      {{"--csv", "param1.txt"},
       "the report file \"param1.txt\" would overwrite the parameter file \"param1.txt\"; rename "
       "one of them"},
      {{"--csv", "Morvantide_4p0_U.gnu"},
       "the report file \"Morvantide_4p0_U.gnu\" would overwrite the plot template "
       "\"Morvantide_4p0_U.gnu\"; rename one of them"},
      {{"--json", "lista.txt"},
       "the listing \"lista.txt\" is the same file as the report file \"lista.txt\"; rename the "
       "listing"},
      {{"--json", "p0.dat"},
       "the plot file \"p0.dat\" is the same file as the report file \"p0.dat\"; rename one of "
       "them"},
      {{"--json", "r.out", "--csv", "r.out"},
       "the report file \"r.out\" is the same file as the report file \"r.out\"; rename one of "
       "them"},
  };
  const Study4 data(4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const MemoryFiles before = data.files();
    RunResult r = run_with(before, c.args);
    ASSERT_FALSE(r.status.ok());
    EXPECT_EQ(r.status.message(), c.message);
    EXPECT_EQ(r.files.contents, before.contents);
  }
}

// A variable listed but missing: one message naming the file, the line and
// the variable, and nothing written.
TEST(ReportFiles, MissingVariableRefused) {
  const Study4 data(4);
  struct Case {
    const char* name;
    std::string header;  // replaces the header line
    const char* variables;
    std::string message;
  } cases[] = {
      {"NamedColumns", "", "1,5",
       "dados.txt:1: variable 5 is not in the table: its header names 4 variables after h"},
      // Without names rows may run over lines: grid 1 takes line 2 and the
      // h of line 3, grid 2 lines 4 and 5, and grid 3 finds the file's end
      // (line 6, after the last).
      {"NoNames", "h a b", "1,5",
       "dados.txt:6: file ends before h of grid 3 could be read (variable 5 is not on the first "
       "line of grid 1, which holds 4 values after h)"},
      // Ten values a row: two whole lines each.
      {"NoNamesFarBeyond", "h", "9",
       "dados.txt:6: file ends before h of grid 3 could be read (variable 9 is not on the first "
       "line of grid 1, which holds 4 values after h)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles before = data.files();
    if (!c.header.empty()) {
      std::string& d = before.contents["dados.txt"];
      d = c.header + d.substr(d.find("\r\n"));
    }
    RunResult r = run_with(before, {"--summary", "--variables", c.variables});
    ASSERT_FALSE(r.status.ok());
    EXPECT_EQ(r.status.message(), c.message);
    EXPECT_EQ(r.files.contents, before.contents);
    EXPECT_EQ(r.console, "");
  }
}

// --no-edit and --no-plot: the outputs are those of a classic run, only the
// programs are not started.
TEST(BatchSwitches, ProgramsSkippedOutputsKept) {
  const Study4 data(4);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> launches;
  } cases[] = {
      {{},
       {"editor Morvantide_4p0.in", "editor param1.txt", "plotter Morvantide_4p0_pU.gnu",
        "plotter Morvantide_4p0_U.gnu", "editor lista.txt"}},
      {{"--no-edit"}, {"plotter Morvantide_4p0_pU.gnu", "plotter Morvantide_4p0_U.gnu"}},
      {{"--no-plot"}, {"editor Morvantide_4p0.in", "editor param1.txt", "editor lista.txt"}},
      {{"--no-plot", "--no-edit"}, {}},
  };
  std::map<std::string, std::string> classic;
  for (const Case& c : cases) {
    MemoryFiles files = data.files();
    Options options;
    ASSERT_TRUE(parse_options(c.args, &options).ok());
    FakePlatform platform;
    MemoryFiles screen;
    std::unique_ptr<OutputFile> console;
    ASSERT_TRUE(screen.create("console", &console).ok());
    State s;
    ASSERT_TRUE(run(s, files, platform, options, *console).ok());
    EXPECT_EQ(platform.launches(), c.launches);
    if (classic.empty()) classic = files.contents;
    EXPECT_EQ(files.contents, classic);
    EXPECT_EQ(screen.contents["console"], "");
  }
}

// The least-squares columns of the JSON and the CSV, read back by Python,
// carry the bits of least_squares_estimates called here on the same values:
// missing at grids 1 to 3, the model as its text.  The four variables take
// an order just above pL = 2 (the h^3 term: M3 with Fs = 1.25), the
// fixed-order branch with Fs = 3 (1/h grows as the grid is refined) and the
// all-equal rule (U_LS = 0, no model).
TEST(LeastSquaresReport, ColumnsReadBackToTheEstimator) {
  const Study4 data(9);
  RunResult r = run_with(data.files(), {"--variables=all", "--json=r.json", "--csv=r.csv"});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const Parsed json = python_read("json", r.files.contents["r.json"]);
  const Parsed csv = python_read("csv", r.files.contents["r.csv"]);
  ASSERT_TRUE(json.ok) << json.error;
  ASSERT_TRUE(csv.ok) << csv.error;
  std::map<std::string, std::string> csv_column;  // name -> column number
  for (int c = 0; csv.values.count("0/" + std::to_string(c)); ++c) {
    csv_column[csv.values.at("0/" + std::to_string(c)).second] = std::to_string(c);
  }
  struct Value {
    const char* name;
    real LeastSquaresGrid::*member;
  };
  const Value kValues[] = {{"U_LS", &LeastSquaresGrid::U_LS},
                           {"p_LS", &LeastSquaresGrid::p_LS},
                           {"T0_LS", &LeastSquaresGrid::T0_LS},
                           {"sigma_LS", &LeastSquaresGrid::sigma_LS},
                           {"Delta_LS", &LeastSquaresGrid::Delta_LS},
                           {"Fs_LS", &LeastSquaresGrid::Fs_LS}};
  auto json_at = [&](const std::string& path) {
    auto it = json.values.find(path);
    return it == json.values.end() ? std::pair<std::string, std::string>{"absent", path}
                                   : it->second;
  };
  for (int v = 0; v < 4; ++v) {
    SCOPED_TRACE("variable " + std::to_string(v + 1));
    const std::vector<LeastSquaresGrid> ls = least_squares_estimates(data.h, data.Th[v], 2);
    const std::string base = "variables/" + std::to_string(v) + "/";
    for (int32_t i = 1; i <= data.nm; ++i) {
      const std::string g = "/" + std::to_string(i - 1);
      const std::string row = std::to_string(v * data.nm + i) + "/";
      for (const Value& value : kValues) {
        const real x = ls[i - 1].*value.member;
        const bool missing = i < 4 || x == S;
        EXPECT_TRUE(carries(json_at(base + value.name + g), x, missing)) << value.name << g;
        EXPECT_TRUE(carries({"", csv.values.at(row + csv_column.at(value.name)).second}, x,
                            missing))
            << value.name << g;
      }
      const std::string model = least_squares_model_text(ls[i - 1].model, ls[i - 1].weighted);
      const auto found = json_at(base + "model_LS" + g);
      EXPECT_EQ(found.first, model.empty() ? "null" : "str") << g;
      EXPECT_EQ(found.second, model) << g;
      EXPECT_EQ(csv.values.at(row + csv_column.at("model_LS")).second, model) << g;
    }
    const LeastSquaresGrid& finest = ls.back();
    EXPECT_TRUE(carries(json_at(base + "verdict/finest/U_LS"), finest.U_LS, false));
    EXPECT_TRUE(carries(json_at(base + "verdict/finest/Fs_LS"), finest.Fs_LS, finest.Fs_LS == S));
  }
  // The branches the four variables stand for, at the finest grid.
  const std::string last = "/" + std::to_string(data.nm - 1);
  EXPECT_EQ(json_at("variables/0/model_LS" + last).second.substr(0, 2), "M3");
  EXPECT_EQ(json_at("variables/0/Fs_LS" + last).second, "1.25");
  EXPECT_EQ(json_at("variables/3/Fs_LS" + last).second, "3");
  EXPECT_EQ(json_at("variables/2/U_LS" + last).second, "0");
  EXPECT_EQ(json_at("variables/2/model_LS" + last).first, "null");
  EXPECT_EQ(json_at("variables/2/Fs_LS" + last).first, "null");
}

}  // namespace
}  // namespace morvantide
