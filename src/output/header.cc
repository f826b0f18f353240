#include "output/header.h"

#include "common/edit.h"
#include "common/text.h"
#include "common/version.h"

namespace morvantide {

namespace {

const char kVariavel[] = "vari\xe1vel";

std::string empty_line() { return std::string(kCrLf); }

void write_header(const State& s, std::string& out) {
  out += empty_line();
  out += Line().A(std::string("Listagem gerada pelo aplicativo MORVANTIDE ") + kVersion).str();
  out += empty_line();
  out += Line().X(3).A("t\xedtulo = ").A(trim(s.titulo)).str();
  out += empty_line();
  out += Line().X(3).A("Dia = ").Aw(s.dia, kLenDia).X(5).A("Hora = ").Aw(s.hora, kLenHora).str();
  out += empty_line();
  out += Line()
             .I(s.nv, 4)
             .A(std::string(" = n\xfamero da ") + kVariavel + ", nos arquivos de resultados, a analisar")
             .str();
  out += empty_line();
  out += Line().A("nome do arquivo de dados principal = ").Aw(s.arq_dados_n, kLenArqDados).str();
  out += empty_line();
  out += Line().F(s.study.pL, 5, 2).A(" = ordem assint\xf3tica do erro verdadeiro").str();
  out += Line().F(s.study.dp, 5, 2).A(" = varia\xe7\xe3o entre as ordens verdadeiras do erro verdadeiro").str();
  out += empty_line();
  out += Line().I(s.study.nm, 4).A(" = n\xfamero de malhas").str();
}

void write_refinement_block(const State& s, std::string& out) {
  out += empty_line();
  if (s.study.tipo_r == 1) {
    out += Line().A("O refino de malha (r) \xe9 constante").str();
    return;
  }
  const std::string r_variavel = std::string("r ") + kVariavel;
  out += Line().A(std::string("O refino de malha (r) \xe9 ") + kVariavel).str();
  out += Line()
             .I(s.study.itmax, 4)
             .A(" = n\xfamero m\xe1ximo de itera\xe7\xf5" "es para obter pU com " + r_variavel)
             .str();
  out += Line().E(s.study.tol, 13, 4).A(" = toler\xe2ncia na obten\xe7\xe3o de pU com " + r_variavel).str();
  out += Line().E(s.study.pU_min, 13, 4).A(" = limite inferior de pU (" + r_variavel + ")").str();
  out += Line().E(s.study.pU_max, 13, 4).A(" = limite superior de pU (" + r_variavel + ")").str();
}

void write_grid_table(const State& s, const GridTable& g, std::string& out) {
  const char* heading;
  if (s.modo == 0) {
    heading = "arquivos com resultados num\xe9ricos:";
  } else if (s.modo == 1) {
    heading = "arquivo \xfanico com resultados num\xe9ricos:";
  } else {
    return;
  }
  out += empty_line();
  out += Line().T(3).A("h").T(32).A("log10(h)").T(45).A("r21").T(58).A(heading).str();
  if (s.study.nm < 1) return;
  out += Line().E(s.study.h(1), 28, 20).E(g.log10_h(1), 13, 4).X(16).A(trim(s.arq(1))).str();
  for (int32_t i = 2; i <= s.study.nm; ++i) {
    Line row;
    row.E(s.study.h(i), 28, 20).E(g.log10_h(i), 13, 4).E(g.r21(i), 13, 4);
    if (s.modo == 0) row.X(3).A(trim(s.arq(i)));
    out += row.str();
  }
}

}  // namespace

std::string listing_header(const State& s, const GridTable& g) {
  std::string out;
  write_header(s, out);
  write_refinement_block(s, out);
  write_grid_table(s, g, out);
  return out;
}

}  // namespace morvantide
