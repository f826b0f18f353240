// The input stage on files held in memory: both layouts, the values that
// reach the analysis state, the editor launches, and the values refused.
#include "input/input.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/text.h"
#include "platform_testing.h"
#include "run/run.h"

namespace morvantide {
namespace {

const char kParamsLayout0[] =
    "2 ! nv\r\n"
    "  ' lista.txt'\r\n"
    "1.5\r\n"
    "0.5\r\n"
    "2\r\n"
    "40\r\n"
    "1d-8\r\n"
    "0.25\r\n"
    "6\r\n"
    "3\r\n"
    "g1.txt\r\n"
    "'g 2.txt'\r\n"
    "g3.txt\r\n"
    "Caso tres\r\n";

MemoryFiles layout0_files() {
  MemoryFiles f;
  f.contents["Morvantide_4p0.in"] = "0\r\nparam0.txt\r\nparam1.txt\r\n";
  f.contents["param0.txt"] = kParamsLayout0;
  f.contents["g1.txt"] = "0.4\r\n1 10.0\r\n2 20.0\r\n3 30.0\r\n";
  f.contents["g 2.txt"] = "0.2\r\n7 11.0\r\n8 21.0\r\n";
  f.contents["g3.txt"] = "0.1  ! h\r\n1, 12.0 ! u\r\n\r\n2 22.5e0 ! v\r\n";
  return f;
}

TEST(Input, Layout0FillsTheState) {
  MemoryFiles files = layout0_files();
  FakePlatform platform(nullptr, {}, 7);
  State s;
  ASSERT_TRUE(read_input(s, files, platform).ok());

  EXPECT_EQ(platform.launches(), (std::vector<std::string>{"editor Morvantide_4p0.in", "editor param0.txt"}));
  EXPECT_EQ(s.modo, 0);
  EXPECT_EQ(s.arq_dados_n, fit("param0.txt", kLenArqDados));
  EXPECT_EQ(s.arq_dados_1, fit("param1.txt", kLenArqDados));
  EXPECT_EQ(s.nv, 2);
  EXPECT_EQ(s.arq_listagem, fit(" lista.txt", kLenArqListagem));
  EXPECT_TRUE(s.study.pL == 1.5Q && s.study.dp == 0.5Q && s.study.tol == 1e-8Q);
  EXPECT_EQ(s.study.tipo_r, 2);
  EXPECT_EQ(s.study.itmax, 40);
  EXPECT_TRUE(s.study.pU_min == 0.25Q && s.study.pU_max == 6);
  ASSERT_EQ(s.study.nm, 3);
  EXPECT_EQ(s.arq(2), fit("g 2.txt", kLenArq));
  EXPECT_EQ(s.titulo, fit("Caso", kLenTitulo));  // unquoted: first word only
  // h from line 1; Th from the nv-th variable line, whatever its number.
  EXPECT_TRUE(s.study.h(1) == 0.4Q && s.study.h(2) == 0.2Q && s.study.h(3) == 0.1Q);
  EXPECT_TRUE(s.study.Th(1) == 20 && s.study.Th(2) == 21 && s.study.Th(3) == 22.5Q);
  // The estimation's sentinel lists start filled.
  Estimates e;
  e.create(s.study.nm);
  EXPECT_TRUE(e.psi_Th(3) == kSentinel && e.UGCI_Th(1) == kSentinel && e.Um_Tm1(2) == kSentinel);
}

TEST(Input, Layout1ReadsRowsOverLines) {
  MemoryFiles files;
  files.contents["Morvantide_4p0.in"] = "1\nunused.txt\n'p 1.txt'\n";
  files.contents["p 1.txt"] =
      "3\nlista.txt\n2\n1\n1\n50\n1e-10\n0.5\n5\n3\n'todos.dat'\n'Um titulo, com / barra'\nignored\n";
  files.contents["todos.dat"] =
      "1 2 3 4 header with numbers\n"
      "0.4 1.0 2.0 3.0 99 ! extra columns\n"
      "0.2 1.1\n  2.1\n\n 3.1\n"
      "0.1,1.2,2.2,3.2\n"
      "trailing text not read\n";
  FakePlatform platform(nullptr, {}, 7);
  State s;
  Status st = read_input(s, files, platform);
  ASSERT_TRUE(st.ok()) << st.message();
  EXPECT_EQ(platform.launches().back(), "editor p 1.txt");
  EXPECT_EQ(s.arq.size(), 1);
  EXPECT_EQ(s.titulo, fit("Um titulo, com / barra", kLenTitulo));
  EXPECT_TRUE(s.study.Th(1) == 3 && s.study.Th(2) == 3.1Q && s.study.Th(3) == 3.2Q);
  EXPECT_TRUE(s.study.h(3) == 0.1Q);
}

TEST(Input, RefusedValues) {
  struct Case {
    const char* control;
    const char* params;  // param0.txt
    const char* message;
  } cases[] = {
      {"2\na\nb\n", "", "Morvantide_4p0.in:1: the layout of the results (modo) must be 0 or 1, found 2"},
      {"\n\n-1 ! modo\na\nb\n", "", "Morvantide_4p0.in:3: the layout of the results (modo) must be 0 or 1, found -1"},
      {"0\n''\nb\n", "", "Morvantide_4p0.in: the parameter file of layout 0 has no name"},
      {"0\nparam0.txt\nb\n", "0\n", "param0.txt:1: nv (the number of the variable) must be at least 1, found 0"},
      {"0\nparam0.txt\nb\n", "1\n''\n", "param0.txt:2: the listing file name is empty"},
      {"0\nparam0.txt\nb\n", "1\nl.txt\n2\n1\n1\n9\n1\n1\n1\n0\nt\n",
       "param0.txt:10: nm (the number of grids) must be at least 1, found 0"},
      {"0\nparam0.txt\nb\n", "1\nl.txt\n2\n1\n1\n9\n1\n1\n1\n2147483647\n",
       "param0.txt:10: nm = 2147483647 grids are more than a run takes (at most 11000: the estimation "
       "time grows with the square of nm, and that many grids take about a minute)"},
      // File names with control bytes.
      {"0\n'param\x1b[2J.txt'\nb\n", "", "Morvantide_4p0.in:2: the parameter file of layout 0 "
       "\"param\\x1b[2J.txt\" holds a control byte, which no file name may hold"},
      {"0\nparam0.txt\nb\n", "1\n'lis\rta.txt'\n",
       "param0.txt:2: the listing file name \"lis\\x0dta.txt\" holds a control byte, which no file "
       "name may hold"},
      {"0\nparam0.txt\nb\n", "1\nl.txt\n2\n1\n1\n9\n1\n1\n1\n2\nr1.txt\n'r2\x7f.txt'\n",
       "param0.txt:12: the result file name of grid 2 \"r2\\x7f.txt\" holds a control byte, which no "
       "file name may hold"},
      {"0\nparam0.txt\nb\n", "1\nl.txt\n2\n1\n1\n1.5\n", "param0.txt:6: expected an integer for itmax (the most iterations of the order search), found \"1.5\""},
      {"1\nparam0.txt\n", "", "Morvantide_4p0.in:3: file ends before the parameter file of layout 1 could be read"},
      {"1\na\nmissing.txt\n", "", "Morvantide_4p0.in:3: missing.txt: cannot open (No such file or directory)"},
  };
  for (const Case& c : cases) {
    MemoryFiles files;
    files.contents["Morvantide_4p0.in"] = c.control;
    files.contents["param0.txt"] = c.params;
    FakePlatform platform(nullptr, {}, 7);
    State s;
    Status st = read_input(s, files, platform);
    EXPECT_EQ(st.message(), c.message) << c.control << "|" << c.params;
  }
}

TEST(Input, ResultFilesRefused) {
  struct Case {
    int modo;
    const char* results;  // g1.txt (layout 0) or all.txt (layout 1), nv 2, nm 2
    const char* message;
  } cases[] = {
      {0, "0.1\n1 1.0\n", "g1.txt:3: file ends before the number of variable 2 of grid 1 could be read"},
      {0, "0.1\n1.5 1.0\n2 2.0\n",
       "g1.txt:2: expected an integer for the number of variable 1 of grid 1, found \"1.5\""},
      {0, "abc\n", "g1.txt:1: expected a real number for h of grid 1, found \"abc\""},
      {1, "h a b\n0.2 1 2\n", "all.txt:3: file ends before h of grid 2 could be read"},
      {1, "h a b\n0.2 1 2\n0.1 1\n",
       "all.txt:3: file ends before the value of variable 2 of grid 2 could be read"},
      // The listing's variable names only the value that was missing, even
      // where the header and the first row tell the table's width.
      {1, "h a\n0.2 1\n", "all.txt:2: file ends before the value of variable 2 of grid 1 could be read"},
      // g2.txt does not exist: the parameter file's line that names it is told.
      {0, "0.1\n1 1.0\n2 2.0\n", "param0.txt:12: g2.txt: cannot open (No such file or directory)"},
  };
  for (const Case& c : cases) {
    MemoryFiles files;
    files.contents["Morvantide_4p0.in"] = "0\nparam0.txt\nparam1.txt\n";
    files.contents["param0.txt"] = "2\nl.txt\n2\n1\n1\n9\n1\n1\n1\n2\ng1.txt\ng2.txt\nt\n";
    files.contents["param1.txt"] = "2\nl.txt\n2\n1\n1\n9\n1\n1\n1\n2\nall.txt\nt\n";
    if (c.modo == 1) files.contents["Morvantide_4p0.in"] = "1\nparam0.txt\nparam1.txt\n";
    files.contents[c.modo == 0 ? "g1.txt" : "all.txt"] = c.results;
    FakePlatform platform(nullptr, {}, 7);
    State s;
    EXPECT_EQ(read_input(s, files, platform).message(), c.message) << c.results;
  }
}

}  // namespace
}  // namespace morvantide
