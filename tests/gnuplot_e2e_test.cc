// Whole-program runs with the real gnuplot: the bundled example draws both
// pictures with the run's title, a title that looks like gnuplot commands
// is only shown, and runs with missing values still draw both pictures.
// Each run happens in a fresh folder, standard input from /dev/null (so no
// editor starts) and a PATH that holds only gnuplot and touch.  Skipped when gnuplot
// is not installed.
//
// A PNG holds no text, so the title is checked in two steps: gnuplot run
// again on the completed script gives the very same PNG bytes (the picture
// the program left is the one of the titled script), and the same script
// drawn to SVG holds the title as text.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"
#include "subprocess_testing.h"

extern char** environ;

namespace morvantide {
namespace {

namespace fs = std::filesystem;

using testing_process::read_file;

void write_file(const fs::path& p, const std::string& content) {
  std::ofstream(p, std::ios::binary) << content;
}

// `name` on the PATH of the tests, or empty.
fs::path find_program(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    fs::path candidate = fs::path(dir) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

using testing_process::Outcome;

// Runs argv in `dir` with the environment of the tests but PATH = `path`,
// stdin from /dev/null; a run that hangs is killed after 60 s.
// With `locale`, the locale variables (LANG, LC_*) are these and no other.
Outcome run_in(const fs::path& dir, const std::vector<std::string>& args, const std::string& path,
               const std::vector<std::string>* locale = nullptr) {
  testing_process::Command c;
  c.argv = args;
  c.dir = dir;
  c.env.push_back("PATH=" + path);
  for (char** e = environ; *e; ++e) {
    const std::string text = *e;
    if (text.rfind("PATH=", 0) == 0) continue;
    if (locale && (text.rfind("LC_", 0) == 0 || text.rfind("LANG=", 0) == 0)) continue;
    c.env.push_back(text);
  }
  if (locale) c.env.insert(c.env.end(), locale->begin(), locale->end());
  return testing_process::run_process(c);
}

bool is_png(const std::string& bytes) { return bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0; }

// A text as gnuplot's SVG terminal writes it inside <text>.
std::string svg_escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

class GnuplotRun : public ::testing::Test {
 protected:
  void SetUp() override {
    gnuplot_ = find_program("gnuplot");
    if (gnuplot_.empty()) GTEST_SKIP() << "gnuplot is not installed";
    char name[] = "/tmp/morvantide_gnuplot_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    root_ = name;
    // PATH holds gnuplot, and touch so that a title run as commands would
    // leave its mark.
    fs::create_directories(root_ / "bin");
    fs::create_symlink(gnuplot_, root_ / "bin" / "gnuplot");
    const fs::path touch = find_program("touch");
    ASSERT_FALSE(touch.empty());
    fs::create_symlink(touch, root_ / "bin" / "touch");
  }
  void TearDown() override {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }

  fs::path folder(const std::string& name) {
    fs::create_directories(root_ / name);
    return root_ / name;
  }

  Outcome run_program(const fs::path& dir, const std::vector<std::string>* locale = nullptr) {
    return run_in(dir, {MORVANTIDE_BINARY}, (root_ / "bin").string(), locale);
  }

  // Draws the completed script `script` of `dir` again in a folder of its
  // own with the same data files: once as it is, once with its terminal
  // switched to SVG.  Returns the PNG and the SVG.
  void draw_again(const fs::path& dir, const PlotScript& script, std::string* png,
                  std::string* svg) {
    const std::string base = fs::path(script.name).stem().string();
    for (const char* kind : {"png", "svg"}) {
      const fs::path again =
          folder(dir.filename().string() + "_again_" + kind + "_" + base);
      for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        if (e.path().extension() == ".dat") fs::copy_file(e.path(), again / e.path().filename());
      }
      std::string text = read_file(dir / script.name);
      if (std::string(kind) == "svg") {
        text = std::regex_replace(text, std::regex("pngcairo[^;\r\n]*"), "svg noenhanced");
        text = std::regex_replace(text, std::regex("\\.png'"), ".svg'");
      }
      write_file(again / script.name, text);
      Outcome r = run_in(again, {gnuplot_.string(), script.name}, (root_ / "bin").string());
      EXPECT_EQ(r.exit_status, 0) << kind << ": " << r.err;
      EXPECT_EQ(r.err, "") << kind;
      *(std::string(kind) == "png" ? png : svg) = read_file(again / (base + "." + kind));
    }
  }

  // Both pictures exist, were drawn by the completed scripts and show `title`.
  void expect_titled_pictures(const fs::path& dir, const std::string& title) {
    for (const PlotScript* script : {&kScriptPU, &kScriptU}) {
      SCOPED_TRACE(script->name);
      const std::string base = fs::path(script->name).stem().string();
      const std::string png = read_file(dir / (base + ".png"));
      ASSERT_TRUE(is_png(png)) << base << ".png is missing or not a PNG (" << png.size()
                               << " bytes)";
      std::string again_png, again_svg;
      draw_again(dir, *script, &again_png, &again_svg);
      EXPECT_TRUE(png == again_png) << "the PNG is not the picture of the completed script";
      EXPECT_NE(again_svg.find(">" + svg_escaped(title) + "</text>"), std::string::npos)
          << "no title text \"" << title << "\" in the picture";
    }
  }

  fs::path gnuplot_;
  fs::path root_;
};

// The title line the run wrote: "set title '" TEXT " (D/M/YYYY)'" then
// "replot", after the default template.  Returns TEXT with its date.
std::string completed_title(const fs::path& dir, const PlotScript& script) {
  const std::string text = read_file(dir / script.name);
  const std::string kept = script.default_template;
  EXPECT_EQ(text.compare(0, kept.size(), kept), 0) << script.name << " lost its kept lines";
  const std::string tail = text.size() >= kept.size() ? text.substr(kept.size()) : "";
  std::smatch m;
  EXPECT_TRUE(std::regex_match(tail, m, std::regex("set title '(.*)'\r\nreplot\r\n")))
      << script.name << " ends with: " << tail;
  return m.size() > 1 ? m[1].str() : "";
}

TEST_F(GnuplotRun, BundledExampleDrawsBothPicturesWithItsTitle) {
  const fs::path dir = folder("example");
  fs::copy(fs::path(MORVANTIDE_SOURCE_DIR) / "examples" / "channel", dir,
           fs::copy_options::recursive);
  ASSERT_FALSE(fs::exists(dir / kScriptPU.name)) << "the example carries its own template";

  Outcome r = run_program(dir);
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "") << "a normal run prints nothing";

  // The example's title is the last quoted text of its parameter file.
  const std::string params = read_file(dir / "parametros_1.txt");
  const size_t close = params.rfind('\'');
  const size_t open = params.rfind('\'', close - 1);
  ASSERT_TRUE(close != std::string::npos && open != std::string::npos);
  const std::string title = params.substr(open + 1, close - open - 1);

  const std::regex dated(std::regex_replace(title, std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") +
                         " \\([0-9]{1,2}/[0-9]{1,2}/[0-9]{4}\\)");
  for (const PlotScript* script : {&kScriptPU, &kScriptU}) {
    const std::string shown = completed_title(dir, *script);
    EXPECT_TRUE(std::regex_match(shown, dated)) << script->name << ": " << shown;
  }
  expect_titled_pictures(dir, completed_title(dir, kScriptPU));
}

// Control file, parameter file (layout 1) and nm rows of an exact power law
// T = 1 + h^2 + h^3, h = 0.2 / 2^(i-1).
void lay_out_case(const fs::path& dir, int nm, const std::string& quoted_title) {
  write_file(dir / "Morvantide_4p0.in", "1\r\nparametros_n.txt\r\nparametros_1.txt\r\n");
  write_file(dir / "parametros_1.txt",
             "1\r\nlistagem.txt\r\n2\r\n1\r\n1\r\n50\r\n1.0E-12\r\n0.5\r\n5.0\r\n" +
                 std::to_string(nm) + "\r\nresultados.txt\r\n" + quoted_title + "\r\n");
  const char* rows[] = {"2E-1 1.048", "1E-1 1.011", "5E-2 1.002625", "2.5E-2 1.000640625"};
  std::string results = "h T\r\n";
  for (int i = 0; i < nm; ++i) results += std::string(rows[i]) + "\r\n";
  write_file(dir / "resultados.txt", results);
}

// The title is shown as text: gnuplot runs none of it.
TEST_F(GnuplotRun, TitleWithApostrophesRunsNothing) {
  const fs::path dir = folder("injection");
  lay_out_case(dir, 4, "'x''; system(''touch pwned''); print '''");

  Outcome r = run_program(dir);
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  const std::string shown = completed_title(dir, kScriptPU);
  EXPECT_TRUE(std::regex_match(
      shown, std::regex("x''; system\\(''touch pwned''\\); print '' \\([0-9/]+\\)")))
      << shown;
  EXPECT_EQ(completed_title(dir, kScriptU), shown);
  expect_titled_pictures(dir, std::regex_replace(shown, std::regex("''"), "'"));
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root_)) {
    EXPECT_NE(e.path().filename(), "pwned") << "gnuplot ran the title: " << e.path();
  }
}

// The default templates draw silently in any locale, the C locale included
// (where gnuplot's "set encoding" warned that iconv failed), with an
// accented Windows-1252 title.
TEST_F(GnuplotRun, SilentInEveryLocale) {
  const std::vector<std::vector<std::string>> locales = {
      {}, {"LC_ALL=C"}, {"LANG=POSIX"}, {"LC_ALL=C", "LC_CTYPE=C.UTF-8"}, {"LANG=C.UTF-8"},
      {"LC_CTYPE=C", "LANG=C.UTF-8"}, {"LANG=pt_BR.UTF-8"}};
  int k = 0;
  for (const std::vector<std::string>& locale : locales) {
    std::string shown;
    for (const std::string& v : locale) shown += v + " ";
    SCOPED_TRACE("locale: " + shown);
    const fs::path dir = folder("locale" + std::to_string(k++));
    lay_out_case(dir, 4, "'Canal d''\xe1gua'");
    Outcome r = run_program(dir, &locale);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
  }
}

// Too few grids leave some curves, or a whole picture, without any value;
// both pictures are still drawn and nothing is printed.
TEST_F(GnuplotRun, MissingValuesStillDrawBothPictures) {
  for (int nm : {1, 2, 3}) {
    SCOPED_TRACE("nm = " + std::to_string(nm));
    const fs::path dir = folder("nm" + std::to_string(nm));
    lay_out_case(dir, nm, "'Poucas malhas'");
    Outcome r = run_program(dir);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    expect_titled_pictures(dir, completed_title(dir, kScriptU));
  }
}

}  // namespace
}  // namespace morvantide
