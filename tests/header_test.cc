// The top of the listing: header, input echo, refinement block, grid table.
#include "output/header.h"

#include <gtest/gtest.h>

#include "lines_testing.h"

#include <sstream>
#include <vector>

#include "common/text.h"
#include "core/estimation.h"

namespace morvantide {
namespace {

// The header of s, its grid table computed from s.study.h first as the run does.
std::string header_of(const State& s) { return listing_header(s, tabela_malhas(s.study.h)); }

State three_grids(int32_t modo) {
  State s;
  s.modo = modo;
  s.study.nm = 3;
  s.create_lists(modo == 0 ? 3 : 1);
  s.titulo = fit("  Caso 1", kLenTitulo);
  s.dia = fit("(6/12/2026)", kLenDia);
  s.hora = fit("9:5:3", kLenHora);
  s.nv = 1;
  s.arq_dados_n = fit("param0.txt", kLenArqDados);
  s.study.pL = 2;
  s.study.dp = -0.5Q;
  s.study.tipo_r = 1;
  s.study.h(1) = 0.1Q;
  s.study.h(2) = 0.05Q;
  s.study.h(3) = 0.025Q;
  s.arq(1) = fit("  malha1.dat", kLenArq);
  if (modo == 0) {
    s.arq(2) = fit("malha2.dat", kLenArq);
    s.arq(3) = fit("malha3.dat", kLenArq);
  }
  return s;
}

TEST(ListingHeader, WholeHeaderLayout0) {
  State s = three_grids(0);
  const std::vector<std::string> expected = {
      "",
      "Listagem gerada pelo aplicativo MORVANTIDE 4.0",
      "",
      "   t\xedtulo = Caso 1",
      "",
      "   Dia = (6/12/2026)      Hora = 9:5:3   ",
      "",
      "   1 = n\xfamero da vari\xe1vel, nos arquivos de resultados, a analisar",
      "",
      "nome do arquivo de dados principal = param0.txt" + std::string(70, ' '),
      "",
      " 2.00 = ordem assint\xf3tica do erro verdadeiro",
      "-0.50 = varia\xe7\xe3o entre as ordens verdadeiras do erro verdadeiro",
      "",
      "   3 = n\xfamero de malhas",
      "",
      "O refino de malha (r) \xe9 constante",
      "",
      "  h                            log10(h)     r21          arquivos com resultados num\xe9ricos:",
      "  1.00000000000000000000E-01  -1.0000E+00                malha1.dat",
      "  5.00000000000000000000E-02  -1.3010E+00   2.0000E+00   malha2.dat",
      "  2.50000000000000000000E-02  -1.6021E+00   2.0000E+00   malha3.dat",
  };
  EXPECT_EQ(lines_of(header_of(s)), expected);
  const GridTable g = tabela_malhas(s.study.h);
  EXPECT_TRUE(g.r21(2) == 2 && g.r21(3) == 2 && g.r21(1) == kSentinel);
}

TEST(ListingHeader, Layout1NamesTheFileOnTheFirstRowOnly) {
  State s = three_grids(1);
  std::vector<std::string> lines = lines_of(header_of(s));
  ASSERT_GE(lines.size(), 4u);
  const size_t n = lines.size();
  EXPECT_EQ(lines[n - 4].substr(57), "arquivo \xfanico com resultados num\xe9ricos:");
  EXPECT_EQ(lines[n - 3].substr(57), "malha1.dat");
  EXPECT_EQ(lines[n - 2], "  5.00000000000000000000E-02  -1.3010E+00   2.0000E+00");
  EXPECT_EQ(lines[n - 1].size(), 54u);
}

TEST(ListingHeader, RefinementBlockForEveryKind) {
  struct Case {
    int32_t tipo_r;
    std::vector<std::string> block;
  } cases[] = {
      {1, {"", "O refino de malha (r) \xe9 constante"}},
      {2,
       {"", "O refino de malha (r) \xe9 vari\xe1vel",
        "  50 = n\xfamero m\xe1ximo de itera\xe7\xf5" "es para obter pU com r vari\xe1vel",
        "   1.0000E-04 = toler\xe2ncia na obten\xe7\xe3o de pU com r vari\xe1vel",
        "   5.0000E-01 = limite inferior de pU (r vari\xe1vel)",
        "   5.0000E+00 = limite superior de pU (r vari\xe1vel)"}},
  };
  for (const Case& c : cases) {
    for (int32_t tipo_r : c.tipo_r == 1 ? std::vector<int32_t>{1} : std::vector<int32_t>{0, 2, 3, -1}) {
      State s = three_grids(0);
      s.study.tipo_r = tipo_r;
      s.study.itmax = 50;
      s.study.tol = 0.0001Q;
      s.study.pU_min = 0.5Q;
      s.study.pU_max = 5;
      std::vector<std::string> lines = lines_of(header_of(s));
      std::vector<std::string> block(lines.begin() + 15, lines.begin() + 15 + c.block.size());
      EXPECT_EQ(block, c.block) << "tipo_r " << tipo_r;
    }
  }
}

TEST(ListingHeader, FieldsThatDoNotFit) {
  State s = three_grids(0);
  s.study.pL = 100;
  s.nv = 12345;
  s.titulo = fit("", kLenTitulo);
  std::vector<std::string> lines = lines_of(header_of(s));
  EXPECT_EQ(lines[3], "   t\xedtulo = ");
  EXPECT_EQ(lines[7].substr(0, 4), "****");
  EXPECT_EQ(lines[11].substr(0, 5), "*****");
}

TEST(ListingHeader, NonFiniteGridValues) {
  State s = three_grids(0);
  s.study.h(2) = 0.1Q;  // equal spacings: ratio 1
  s.study.h(3) = 0;     // zero spacing: infinite ratio, log10 -Infinity
  std::vector<std::string> lines = lines_of(header_of(s));
  const size_t n = lines.size();
  EXPECT_EQ(lines[n - 2].substr(41, 13), "   1.0000E+00");
  EXPECT_EQ(lines[n - 1].substr(0, 54),
            "  0.00000000000000000000E+00    -Infinity     Infinity");
}

}  // namespace
}  // namespace morvantide
