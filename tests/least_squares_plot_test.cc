// The least-squares uncertainty where a run shows it: the summary's line and
// the third picture of --plot-least-squares (its data file, its script, the
// plotter, the clash and template checks), on whole runs held in memory.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/quad.h"
#include "platform_testing.h"
#include "run/options.h"
#include "run/run.h"
#include "run_testing.h"

namespace morvantide {
namespace {

std::string text_of(real x) {
  char buf[80];
  quadmath_snprintf(buf, sizeof buf, "%.40Qe", x);  // reads back exactly
  return buf;
}

// A layout-1 study of one variable: h(i) = 2^(1-i) and the values given.
MemoryFiles one_variable(const std::vector<real>& Th, const std::string& listing = "lista.txt") {
  MemoryFiles f;
  f.contents["Morvantide_4p0.in"] = "1\r\nparam_n.txt\r\nparam1.txt\r\n";
  f.contents["param1.txt"] = "1\r\n" + listing +
                             "\r\n2\r\n1\r\n1\r\n50\r\n1.0E-12\r\n0.5\r\n5.0\r\n" +
                             std::to_string(Th.size()) + "\r\ndados.txt\r\nT\r\n";
  std::string data = "h v\r\n";
  for (size_t i = 0; i < Th.size(); ++i) {
    data += text_of(q_pow(2, -q_from_int(static_cast<int32_t>(i)))) + " " + text_of(Th[i]) +
            "\r\n";
  }
  f.contents["dados.txt"] = data;
  return f;
}

// phi = T0 + a h^p on h = 1, 1/2, 1/4, ...
std::vector<real> power_law(int32_t n, real T0, real a, real p) {
  std::vector<real> Th;
  for (int32_t i = 0; i < n; ++i) Th.push_back(T0 + a * q_pow(q_pow(2, -q_from_int(i)), p));
  return Th;
}


// The summary line, "  least squares " and what follows, up to the line end.
std::string least_squares_line(const std::string& console) {
  const std::string label = "  least squares ";
  const size_t at = console.find("\n" + label);
  if (at == std::string::npos) return "(no line)";
  const size_t start = at + 1 + label.size();
  return console.substr(start, console.find('\n', start) - start);
}

TEST(LeastSquaresSummary, OneLineBesideTheGci) {
  struct Case {
    const char* name;
    std::vector<real> Th;
    std::string starts;  // the line starts so
    std::string ends;    // and ends so
  } cases[] = {
      // 1 + h^2: M1 finds p = 2 with sigma = 0, so U_LS = 1.25 eps with
      // eps = h(5)^2 = 1/256 (0.0048828125).
      {"ExactSquare", power_law(5, 1, 1, 2), "U_LS = 0.00488281 (M1 ",
       ", Fs = 1.25000, p_LS = 2.00000)"},
      // 3 - 2h: p = 1, eps = 2 h(6) = 1/16, U_LS = 0.078125.
      {"ExactLinear", power_law(6, 3, -2, 1), "U_LS = 0.0781250 (M1 ",
       ", Fs = 1.25000, p_LS = 1.00000)"},
      // p = 3 is above pL + 0.1: the fixed-order branch.
      {"OrderAbovePL", power_law(6, 1, 1, 3), "U_LS = ", ", Fs = 3.00000, p_LS = 3.00000)"},
      {"ThreeGrids", power_law(3, 1, 1, 2), "U_LS = n/a (needs 4 grids)", ""},
      {"AllEqual", std::vector<real>(5, 7), "U_LS = 0.00000 (all values equal)", ""},
      // Noise far above the trend: sigma >= Delta.
      {"Scattered", {1, 2, 1, 2, 1, 2}, "U_LS = ", ", scattered: sigma >= Delta)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult r = run_with(one_variable(c.Th), {"--summary"});
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    const std::string line = least_squares_line(r.console);
    EXPECT_EQ(line.substr(0, c.starts.size()), c.starts) << line;
    EXPECT_TRUE(line.size() >= c.ends.size() &&
                line.compare(line.size() - c.ends.size(), c.ends.size(), c.ends) == 0)
        << line;
    // The summary alone computes U_LS at the finest grid only: the same
    // text as when the JSON needs every grid.
    RunResult with_json = run_with(one_variable(c.Th), {"--summary", "--json", "r.json"});
    ASSERT_TRUE(with_json.status.ok()) << with_json.status.message();
    EXPECT_EQ(with_json.console, r.console);
    // Right after the result line.
    EXPECT_NE(r.console.find("\n  least squares "), std::string::npos);
    EXPECT_LT(r.console.find("  result "), r.console.find("  least squares "));
    EXPECT_LT(r.console.find("  least squares "), r.console.find("  convergence "));
  }
}

std::string read_source(const std::string& name) {
  std::ifstream in(std::string(MORVANTIDE_SOURCE_DIR) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// log10(h) and log10|U| as the estimate files lay them out (1P,E12.4 and
// 1P,E22.14), formed here with printf's own E format.
std::string plot_line(real x, real y) {
  char a[40], b[40];
  quadmath_snprintf(a, sizeof a, "%12.4QE", x);  // one number per call
  quadmath_snprintf(b, sizeof b, "%22.14QE", y);
  return std::string(a) + b + "\r\n";
}

// 1 + h^2 on five grids: U_LS = 1.25 h(i)^2 at grids 4 and 5, and no line
// before grid 4.  The script keeps the default template's 11 lines.
TEST(LeastSquaresPlot, DataFileScriptAndPlotter) {
  RunResult r = run_with(one_variable(power_law(5, 1, 1, 2)), {"--plot-least-squares"});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const std::string expected_data = std::string("# log(h)      log|U_LS|\r\n") +
                                    plot_line(log10q(0.125Q), log10q(1.25Q / 64)) +
                                    plot_line(log10q(0.0625Q), log10q(1.25Q / 256));
  EXPECT_EQ(r.files.contents["U_LS.dat"], expected_data);
  EXPECT_EQ(r.files.contents["Morvantide_4p0_U_LS.gnu"],
            read_source("templates/Morvantide_4p0_U_LS.gnu") +
                "set title 'T (6/12/2026)'\r\nreplot\r\n");
  const std::vector<std::string> launches = {
      "editor Morvantide_4p0.in",          "editor param1.txt",
      "plotter Morvantide_4p0_pU.gnu",     "plotter Morvantide_4p0_U.gnu",
      "plotter Morvantide_4p0_U_LS.gnu",   "editor lista.txt"};
  EXPECT_EQ(r.launches, launches);

  // The classic outputs are the same bytes without the option, and the two
  // extra files are not written.
  RunResult classic = run_with(one_variable(power_law(5, 1, 1, 2)), {});
  ASSERT_TRUE(classic.status.ok()) << classic.status.message();
  EXPECT_EQ(classic.files.contents.count("U_LS.dat"), 0u);
  EXPECT_EQ(classic.files.contents.count("Morvantide_4p0_U_LS.gnu"), 0u);
  MemoryFiles with = r.files;
  with.contents.erase("U_LS.dat");
  with.contents.erase("Morvantide_4p0_U_LS.gnu");
  EXPECT_EQ(with.contents, classic.files.contents);

  // --no-plot: the same files, no plotter.
  RunResult quiet = run_with(one_variable(power_law(5, 1, 1, 2)),
                             {"--plot-least-squares", "--no-plot", "--no-edit"});
  ASSERT_TRUE(quiet.status.ok()) << quiet.status.message();
  EXPECT_TRUE(quiet.launches.empty());
  EXPECT_EQ(quiet.files.contents, r.files.contents);
}

// Fewer than 4 grids: no U_LS, and the picture's title says so; the classic
// scripts keep their own title.
TEST(LeastSquaresPlot, TitleSaysWhyFewGridsHaveNoCurve) {
  for (int32_t n : {2, 3, 4}) {
    SCOPED_TRACE(std::to_string(n) + " grids");
    RunResult r = run_with(one_variable(power_law(n, 1, 1, 2)), {"--plot-least-squares"});
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    const std::string title = n < 4 ? "T (6/12/2026) - U_LS needs 4 grids" : "T (6/12/2026)";
    EXPECT_EQ(r.files.contents["Morvantide_4p0_U_LS.gnu"],
              read_source("templates/Morvantide_4p0_U_LS.gnu") + "set title '" + title +
                  "'\r\nreplot\r\n");
    RunResult classic = run_with(one_variable(power_law(n, 1, 1, 2)), {});
    for (const char* script : {"Morvantide_4p0_pU.gnu", "Morvantide_4p0_U.gnu"}) {
      EXPECT_EQ(r.files.contents[script], classic.files.contents[script]) << script;
    }
  }
}

// A template in the folder is kept for its first 11 lines, as the classic
// scripts keep theirs.
TEST(LeastSquaresPlot, OwnTemplate) {
  MemoryFiles files = one_variable(power_law(4, 1, 1, 2));
  std::string own;
  for (int k = 1; k <= 12; ++k) own += "# line " + std::to_string(k) + "\r\n";
  files.contents["Morvantide_4p0_U_LS.gnu"] = own;
  RunResult r = run_with(files, {"--plot-least-squares", "--no-edit"});
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.files.contents["Morvantide_4p0_U_LS.gnu"],
            own.substr(0, own.find("# line 12")) + "set title 'T (6/12/2026)'\r\nreplot\r\n");
  EXPECT_EQ(r.files.contents["U_LS.dat"],
            "# log(h)      log|U_LS|\r\n" + plot_line(log10q(0.125Q), log10q(1.25Q / 64)));
}

// The two extra files join the check that no output overwrites an input or
// another output, and the extra template joins the template check; nothing
// is written when a run is refused.  Without the option the same names are
// free.
TEST(LeastSquaresPlot, ClashAndTemplateChecks) {
  struct Case {
    const char* name;
    std::string listing;
    std::vector<std::string> args;
    std::string short_template;  // a Morvantide_4p0_U_LS.gnu in the folder
    std::string message;         // empty: the run succeeds
  } cases[] = {
      {"ListingIsTheDataFile", "U_LS.dat", {"--plot-least-squares"}, "",
       "the listing \"U_LS.dat\" is the same file as the plot file \"U_LS.dat\"; rename the "
       "listing"},
      {"ListingIsTheTemplate", "Morvantide_4p0_U_LS.gnu", {"--plot-least-squares"}, "",
       "the listing \"Morvantide_4p0_U_LS.gnu\" would overwrite the plot template "
       "\"Morvantide_4p0_U_LS.gnu\"; rename one of them"},
      {"ReportIsTheDataFile", "lista.txt", {"--plot-least-squares", "--json", "U_LS.dat"}, "",
       "the plot file \"U_LS.dat\" is the same file as the report file \"U_LS.dat\"; rename one "
       "of them"},
      {"ListingIsThePicture", "Morvantide_4p0_U_LS.png", {"--plot-least-squares"}, "",
       "the listing \"Morvantide_4p0_U_LS.png\" is the same file as the picture of the default "
       "plot template \"Morvantide_4p0_U_LS.png\"; rename the listing"},
      {"ShortTemplate", "lista.txt", {"--plot-least-squares"}, "# 1\r\n# 2\r\n# 3\r\n",
       "Morvantide_4p0_U_LS.gnu: the plot template has only 3 lines, 11 are needed"},
      {"ListingNamedLikeTheDataFileWithoutTheOption", "U_LS.dat", {}, "", ""},
      {"ShortTemplateWithoutTheOption", "lista.txt", {}, "# 1\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles before = one_variable(power_law(5, 1, 1, 2), c.listing);
    if (!c.short_template.empty()) {
      before.contents["Morvantide_4p0_U_LS.gnu"] = c.short_template;
    }
    RunResult r = run_with(before, c.args);
    if (c.message.empty()) {
      EXPECT_TRUE(r.status.ok()) << r.status.message();
      EXPECT_TRUE(r.files.contents.count(c.listing));
      if (!c.short_template.empty()) {
        EXPECT_EQ(r.files.contents["Morvantide_4p0_U_LS.gnu"], c.short_template);
      }
    } else {
      ASSERT_FALSE(r.status.ok());
      EXPECT_EQ(r.status.message(), c.message);
      EXPECT_EQ(r.files.contents, before.contents);
    }
  }
}

TEST(LeastSquaresPlot, OptionTakesNoValue) {
  Options o;
  ASSERT_TRUE(parse_options({"--plot-least-squares"}, &o).ok());
  EXPECT_TRUE(o.plot_least_squares);
  EXPECT_FALSE(o.report());
  const Status bad = parse_options({"--plot-least-squares=yes"}, &o);
  EXPECT_EQ(bad.message(), "morvantide: --plot-least-squares takes no value");
  Options none;
  ASSERT_TRUE(parse_options({}, &none).ok());
  EXPECT_FALSE(none.plot_least_squares);
}

}  // namespace
}  // namespace morvantide

namespace morvantide {
namespace {

// A run reads each plot template once: the check before any output and
// the script it completes share the text.
class CountingFiles : public MemoryFiles {
 public:
  std::map<std::string, int> reads;
  Status read(const std::string& name, std::string* content) override {
    ++reads[name];
    return MemoryFiles::read(name, content);
  }
};

TEST(PlotTemplates, EachReadOncePerRun) {
  for (const bool ls_plot : {false, true}) {
    CountingFiles files;
    files.contents = one_variable(power_law(5, 1, 1, 2)).contents;
    std::vector<const PlotScript*> scripts = {&kScriptPU, &kScriptU};
    if (ls_plot) scripts.push_back(&kScriptULS);
    // The user's own templates, one line longer than the defaults.
    for (const PlotScript* script : scripts) {
      files.contents[script->name] = std::string("# mine\r\n") + script->default_template;
    }
    Options options;
    ASSERT_TRUE(
        parse_options(ls_plot ? std::vector<std::string>{"--plot-least-squares"}
                              : std::vector<std::string>{},
                      &options)
            .ok());
    ASSERT_TRUE(run_on(files, options).ok());
    for (const PlotScript* script : scripts) {
      EXPECT_EQ(files.reads[script->name], 1) << script->name << (ls_plot ? " with LS" : "");
      EXPECT_EQ(files.contents[script->name].rfind("# mine\r\n", 0), 0u) << script->name;
      EXPECT_NE(files.contents[script->name].find("replot\r\n"), std::string::npos) << script->name;
    }
  }
}

}  // namespace
}  // namespace morvantide
