#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/text.h"
#include "core/estimation.h"
#include "model/state.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"
#include "platform_testing.h"
#include "common/platform.h"
#include "run/run.h"
#include "run/run_files.h"

namespace morvantide {
namespace {


// Memory files where creating one chosen name fails.
class FailingFiles : public MemoryFiles {
 public:
  explicit FailingFiles(std::string name) : failing_(std::move(name)) {}
  Status create(const std::string& name, std::unique_ptr<OutputFile>* out) override {
    if (name == failing_) return Status::Error(name + ": cannot create (No space left on device)");
    return MemoryFiles::create(name, out);
  }

 private:
  std::string failing_;
};

// "L1\r\nL2\r\n..." : n numbered lines with the given line end.
std::string numbered(int n, const std::string& end = "\r\n") {
  std::string text;
  for (int i = 1; i <= n; ++i) text += "L" + std::to_string(i) + end;
  return text;
}

std::string title_of(const std::string& title_and_date) {
  return fit(title_and_date, kLenTituloGrafico);
}

const char kTitle[] = "Caso 1 (6/12/2026)'";
const char kTitleLines[] = "set title 'Caso 1 (6/12/2026)'\r\nreplot\r\n";

// Reads a gnuplot single-quoted text starting at `pos` (just after the
// opening quote): '' stands for one apostrophe, a lone ' ends it.  Returns
// the position after the closing quote, or npos when the text never closes.
size_t end_of_quoted(const std::string& line, size_t pos) {
  while (pos < line.size()) {
    if (line[pos] == '\'') {
      if (pos + 1 < line.size() && line[pos + 1] == '\'') {
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    ++pos;
  }
  return std::string::npos;
}

// The templates shipped in templates/ are the ones the program carries.
TEST(PlotScripts, DefaultTemplatesEqualTheShippedFiles) {
  for (const PlotScript* script : {&kScriptPU, &kScriptU}) {
    SCOPED_TRACE(script->name);
    std::ifstream in(std::string(MORVANTIDE_SOURCE_DIR) + "/templates/" + script->name,
                     std::ios::binary);
    ASSERT_TRUE(in) << "templates/" << script->name << " is missing";
    std::stringstream shipped;
    shipped << in.rdbuf();
    EXPECT_EQ(shipped.str(), std::string(script->default_template));
  }
}

// Exactly the kept lines, CR LF, single-byte; the PNG named after the
// script is opened again on the last kept line, so "replot" draws into it.
TEST(PlotScripts, DefaultTemplatesShape) {
  struct Case {
    const PlotScript* script;
    const char* last_line;
    const char* data_files[8];
  } cases[] = {
      {&kScriptPU,
       "set output 'Morvantide_4p0_pU.png'",
       {"p0.dat", "p1.dat", "p2.dat", "pU_h.dat", "pU_i.dat", "pU_bi.dat", "pU_c.dat",
        "pU_mer.dat"}},
      {&kScriptU,
       "set output 'Morvantide_4p0_U.png'",
       {"U_12.dat", "U_13.dat", "U_14.dat", "U_15.dat"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script->name);
    const std::string text = c.script->default_template;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      ASSERT_NE(end, std::string::npos) << "line without CR LF at byte " << start;
      lines.push_back(text.substr(start, end - start));
      EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
      start = end + 2;
    }
    ASSERT_EQ(static_cast<int>(lines.size()), c.script->kept_lines);
    EXPECT_EQ(lines.back(), c.last_line);
    EXPECT_NE(text.find("set encoding cp1252"), std::string::npos);
    EXPECT_NE(text.find("pngcairo noenhanced"), std::string::npos);
    EXPECT_NE(text.find("set xlabel 'log10(h)'"), std::string::npos);
    for (const char* data : c.data_files) {
      if (data) {
        EXPECT_NE(text.find(std::string("'") + data + "'"), std::string::npos) << data;
      }
    }
  }
}

// The kept lines stay byte for byte, whatever their line ends; what
// follows them is gone.
TEST(PlotScripts, KeepsTheFirstLinesAndAppendsTitleAndReplot) {
  struct Case {
    const char* what;
    std::string before;
    std::string kept;
  } cases[] = {
      {"exactly 15 lines", numbered(15), numbered(15)},
      {"lines after the kept ones are dropped", numbered(40), numbered(15)},
      {"an earlier title and replot are replaced",
       numbered(15) + "set title 'Rodada anterior (1/1/2025)'\r\nreplot\r\n", numbered(15)},
      {"LF line ends are kept as they are", numbered(18, "\n"), numbered(15, "\n")},
      {"mixed line ends", numbered(7, "\n") + numbered(9, "\r\n"),
       numbered(7, "\n") + numbered(8, "\r\n")},
      {"a last kept line without its line end gains CR LF", numbered(14) + "L15",
       numbered(15)},
      {"a lone CR does not end a line", "a\rb\r\n" + numbered(15), "a\rb\r\n" + numbered(14)},
      {"blank lines count", "\r\n\n" + numbered(12) + "\r\nL16\r\n",
       "\r\n\n" + numbered(12) + "\r\n"},
      {"bytes of every value stay", std::string("# an\xe1lise \x00\x01\r\n", 14) + numbered(14),
       std::string("# an\xe1lise \x00\x01\r\n", 14) + numbered(14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFiles files;
    files.contents[kScriptPU.name] = c.before;
    FakePlatform platform(&files, {0});
    State s;
    s.titulo_grafico = title_of(kTitle);
    Status st = draw_plot(s, kScriptPU, files, platform);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(files.contents[kScriptPU.name], c.kept + kTitleLines);

    // A second run leaves the same file.
    st = draw_plot(s, kScriptPU, files, platform);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(files.contents[kScriptPU.name], c.kept + kTitleLines);
  }
}

// A script already as the run would write it is not written again; any
// difference, the date of the title included, rewrites it.
TEST(PlotScripts, RewrittenOnlyWhenItChanges) {
  struct CountingFiles : MemoryFiles {
    int replaced = 0;
    Status create_replacing(const std::string& name, std::unique_ptr<OutputFile>* out) override {
      ++replaced;
      return MemoryFiles::create_replacing(name, out);
    }
  };
  struct Case {
    const char* what;
    std::string before;
    const char* title;
    int replaced;
  } cases[] = {
      {"the same day again", numbered(15) + kTitleLines, kTitle, 0},
      {"another day", numbered(15) + kTitleLines, "Caso 1 (7/12/2026)'", 1},
      {"a byte after the title", numbered(15) + kTitleLines + "\r\n", kTitle, 1},
      {"LF line ends in the title lines", numbered(15) + "set title 'Caso 1 (6/12/2026)'\nreplot\n",
       kTitle, 1},
      {"a fresh template", numbered(15), kTitle, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CountingFiles files;
    files.contents[kScriptPU.name] = c.before;
    FakePlatform platform(&files, {0});
    State s;
    s.titulo_grafico = title_of(c.title);
    ASSERT_TRUE(draw_plot(s, kScriptPU, files, platform).ok());
    EXPECT_EQ(files.replaced, c.replaced);
    EXPECT_EQ(files.contents[kScriptPU.name],
              numbered(15) + "set title '" + std::string(c.title) + "\r\nreplot\r\n");
  }
}

TEST(PlotScripts, TitleLine) {
  struct Case {
    std::string titulo_grafico;  // as the run forms it, closing apostrophe last
    std::string line;
  } cases[] = {
      {"Caso 1 (6/12/2026)'", "set title 'Caso 1 (6/12/2026)'"},
      {" (6/12/2026)'", "set title '(6/12/2026)'"},  // blank title
      {"   a  b (1/1/2027)'", "set title 'a  b (1/1/2027)'"},
      {"d'agua (1/1/2027)'", "set title 'd''agua (1/1/2027)'"},
      {"'' (1/1/2027)'", "set title ''''' (1/1/2027)'"},
      {"x'; system('touch pwned'); print ' (6/12/2026)'",
       "set title 'x''; system(''touch pwned''); print '' (6/12/2026)'"},
      {"a\r\nb\rc\nd (6/12/2026)'", "set title 'abcd (6/12/2026)'"},
      {"An\xe1lise de converg\xeancia (6/12/2026)'",
       "set title 'An\xe1lise de converg\xeancia (6/12/2026)'"},
      {"ends with \\ (6/12/2026)'", "set title 'ends with \\ (6/12/2026)'"},
      {std::string(100, 'T') + " (16/12/2026)'",
       "set title '" + std::string(100, 'T') + " (16/12/2026)'"},
      // Not formed by the run; the quote is closed all the same.
      {"no closing quote", "set title 'no closing quote'"},
      {"", "set title ''"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.titulo_grafico);
    MemoryFiles files;
    files.contents[kScriptU.name] = numbered(10);
    FakePlatform platform(&files, {0});
    State s;
    s.titulo_grafico = title_of(c.titulo_grafico);
    Status st = draw_plot(s, kScriptU, files, platform);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(files.contents[kScriptU.name], numbered(10) + c.line + "\r\nreplot\r\n");

    // The title is one quoted text that closes exactly at the end of the line.
    const std::string prefix = "set title '";
    ASSERT_EQ(c.line.compare(0, prefix.size(), prefix), 0);
    EXPECT_EQ(end_of_quoted(c.line, prefix.size()), c.line.size());
  }
}

TEST(PlotScripts, MissingTemplateIsReplacedByTheDefault) {
  for (const PlotScript* script : {&kScriptPU, &kScriptU}) {
    SCOPED_TRACE(script->name);
    MemoryFiles files;
    ASSERT_TRUE(check_templates(files).ok());
    EXPECT_TRUE(files.contents.empty()) << "check_templates wrote a file";

    FakePlatform platform(&files, {0});
    State s;
    s.titulo_grafico = title_of(kTitle);
    Status st = draw_plot(s, *script, files, platform);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(files.contents[script->name], std::string(script->default_template) + kTitleLines);
    ASSERT_EQ(platform.calls.size(), 1u);
    EXPECT_EQ(platform.calls[0].file, script->name);
  }
}

TEST(PlotScripts, ShortTemplateStopsTheRunAndIsLeftAlone) {
  struct Case {
    std::string pU;  // empty string: no such file
    std::string U;
    bool pU_exists, U_exists;
    const char* message;  // nullptr: accepted
  } cases[] = {
      {numbered(14), numbered(10), true, true,
       "Morvantide_4p0_pU.gnu: the plot template has only 14 lines, 15 are needed"},
      {"", numbered(10), true, true,
       "Morvantide_4p0_pU.gnu: the plot template has only 0 lines, 15 are needed"},
      {numbered(15), "one line\r\n", true, true,
       "Morvantide_4p0_U.gnu: the plot template has only 1 line, 10 are needed"},
      {"", numbered(9, "\n"), false, true,
       "Morvantide_4p0_U.gnu: the plot template has only 9 lines, 10 are needed"},
      {numbered(14) + "L15", numbered(9) + "L10", true, true, nullptr},
      {"", "", false, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message ? c.message : "accepted");
    MemoryFiles files;
    if (c.pU_exists) files.contents[kScriptPU.name] = c.pU;
    if (c.U_exists) files.contents[kScriptU.name] = c.U;
    const std::map<std::string, std::string> before = files.contents;

    Status st = check_templates(files);
    EXPECT_EQ(files.contents, before) << "check_templates changed a file";
    if (!c.message) {
      EXPECT_TRUE(st.ok()) << st.message();
      continue;
    }
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.message(), c.message);

    // roteiro checks again: same message, no file touched, no plotter.
    FakePlatform platform(&files, {0, 0});
    State s;
    s.titulo_grafico = title_of(kTitle);
    const PlotScript& short_one = std::string(c.message).find("_pU") != std::string::npos
                                      ? kScriptPU
                                      : kScriptU;
    st = draw_plot(s, short_one, files, platform);
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.message(), c.message);
    EXPECT_EQ(files.contents, before);
    EXPECT_TRUE(platform.calls.empty());
  }
}

TEST(PlotScripts, UnwritableScriptEndsWithItsError) {
  FailingFiles files(kScriptU.name);
  files.contents[kScriptU.name] = numbered(12);
  FakePlatform platform(&files, {0});
  State s;
  Status st = draw_plot(s, kScriptU, files, platform);
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.message(), "Morvantide_4p0_U.gnu: cannot create (No space left on device)");
  EXPECT_TRUE(platform.calls.empty());
}

// The plotter runs on the completed script, its status never stops the
// run, and script 2 is written only after the plotter on script 1
// has ended.
TEST(PlotScripts, PlotterLaunches) {
  const int32_t statuses[][2] = {{0, 0}, {1, 0}, {-1, 3}, {0, -1}};
  for (const auto& pair : statuses) {
    SCOPED_TRACE(std::to_string(pair[0]) + ", " + std::to_string(pair[1]));
    MemoryFiles files;
    files.contents[kScriptPU.name] = numbered(16);
    files.contents[kScriptU.name] = numbered(11);
    FakePlatform platform(&files, {pair[0], pair[1]});
    State s;
    s.titulo_grafico = title_of(kTitle);

    Status st = draw_plot(s, kScriptPU, files, platform);
    ASSERT_TRUE(st.ok()) << st.message();
    st = draw_plot(s, kScriptU, files, platform);
    ASSERT_TRUE(st.ok()) << st.message();

    ASSERT_EQ(platform.calls.size(), 2u);
    EXPECT_EQ(platform.calls[0].program, Program::kPlotter);
    EXPECT_EQ(platform.calls[0].file, "Morvantide_4p0_pU.gnu");
    EXPECT_EQ(platform.calls[0].files_then.at(kScriptPU.name), numbered(15) + kTitleLines);
    EXPECT_EQ(platform.calls[0].files_then.at(kScriptU.name), numbered(11));
    EXPECT_EQ(platform.calls[1].program, Program::kPlotter);
    EXPECT_EQ(platform.calls[1].file, "Morvantide_4p0_U.gnu");
    EXPECT_EQ(platform.calls[1].files_then.at(kScriptU.name), numbered(10) + kTitleLines);
  }
}

// A run's state and the analysis of its variable.
struct SmallRun {
  State s;
  Analysis nv;
};

SmallRun small_run() {
  SmallRun r;
  Study& study = r.s.study;
  study.nm = 3;
  study.pL = 2;
  study.dp = 1;
  r.s.create_lists(study.nm);
  const real spacings[] = {0.4Q, 0.2Q, 0.1Q};
  const real values[] = {1.16Q, 1.04Q, 1.01Q};
  for (int32_t i = 1; i <= study.nm; ++i) {
    study.h(i) = spacings[i - 1];
    study.Th(i) = values[i - 1];
  }
  r.s.titulo_grafico = title_of(kTitle);
  r.nv = analyse(study, tabela_malhas(study.h), AnalysisSettings());
  return r;
}

TEST(SaidaResultados, TablesThenDataFilesThenScriptsInOrder) {
  MemoryFiles files;
  files.contents[kScriptPU.name] = numbered(15);
  FakePlatform platform(&files, {5, 6});
  const SmallRun r = small_run();

  const std::string header = "HEADER\r\n";
  std::unique_ptr<OutputFile> listing;
  ASSERT_TRUE(files.create("lista.txt", &listing).ok());
  listing->write(header);
  Status st = write_outputs(r.s, r.nv, run_files(r.s, FileChoice()), *listing, files, platform);
  ASSERT_TRUE(st.ok()) << st.message();

  EXPECT_EQ(files.contents["lista.txt"],
            header + tabelas_pU_psi(r.nv) + tabela_T(r.nv) + tabela_U(r.nv));

  MemoryFiles data;
  ASSERT_TRUE(write_plot_data(r.nv, data).ok());
  ASSERT_EQ(platform.calls.size(), 2u);
  for (const auto& [name, content] : data.contents) {
    // Every plot data file is complete before the first plotter starts.
    EXPECT_EQ(platform.calls[0].files_then.at(name), content) << name;
  }
  EXPECT_EQ(platform.calls[0].file, kScriptPU.name);
  EXPECT_EQ(platform.calls[1].file, kScriptU.name);
  EXPECT_EQ(files.contents[kScriptPU.name], numbered(15) + kTitleLines);
  EXPECT_EQ(files.contents[kScriptU.name], std::string(kScriptU.default_template) + kTitleLines);
}

// A row of the table is an output: each fixed output row alone writes its
// file alone (a script with one plotter run).
TEST(SaidaResultados, EachRowAloneWritesItsFileAlone) {
  for (const RunFile& f : fixed_files()) {
    if (is_input(f.role)) continue;
    SCOPED_TRACE(f.name);
    MemoryFiles files;
    FakePlatform platform(&files, {0, 0});
    const SmallRun r = small_run();
    std::unique_ptr<OutputFile> listing;
    ASSERT_TRUE(files.create("lista.txt", &listing).ok());
    const std::vector<RunFile> row = {f};
    ASSERT_TRUE(write_outputs(r.s, r.nv, row, *listing, files, platform).ok());
    EXPECT_EQ(files.contents["lista.txt"], "");
    files.contents.erase("lista.txt");
    ASSERT_EQ(files.contents.size(), 1u);
    EXPECT_EQ(files.contents.begin()->first, f.name);
    EXPECT_EQ(platform.calls.size(), f.role == FileRole::kScript ? 1u : 0u);
  }
}

TEST(SaidaResultados, ReturnsTheFirstError) {
  struct Case {
    const char* failing;  // the file whose creation fails
    const char* message;
    size_t plotter_runs;
  } cases[] = {
      {"p2.dat", "p2.dat: cannot create (No space left on device)", 0},
      {"Morvantide_4p0_pU.gnu",
       "Morvantide_4p0_pU.gnu: cannot create (No space left on device)", 0},
      {"Morvantide_4p0_U.gnu", "Morvantide_4p0_U.gnu: cannot create (No space left on device)",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    FailingFiles files(c.failing);
    FakePlatform platform(&files, {0, 0});
    const SmallRun r = small_run();
    std::unique_ptr<OutputFile> listing;
    ASSERT_TRUE(files.create("lista.txt", &listing).ok());
    Status st = write_outputs(r.s, r.nv, run_files(r.s, FileChoice()), *listing, files, platform);
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.message(), c.message);
    EXPECT_EQ(platform.calls.size(), c.plotter_runs);
  }
}

}  // namespace
}  // namespace morvantide
