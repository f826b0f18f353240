// The plot scripts and the plotter launch, and the output step that ends
// with them.
//
// A script keeps the first lines of its template byte for byte (their own
// line ends included) and gains two lines:
//
//   set title '<title>'
//   replot
//
// where <title> is titulo_grafico without its leading and trailing blanks.
// titulo_grafico ends with the apostrophe that closes the quote; every other
// apostrophe of the title is doubled and CR and LF bytes are dropped, so the
// title stays one quoted text whatever it holds:
//
//   titulo_grafico "Caso 1 (6/12/2026)'"  -> set title 'Caso 1 (6/12/2026)'
//   titulo_grafico "x'y (6/12/2026)'"     -> set title 'x''y (6/12/2026)'
//
// A missing template is replaced by the program's default one, so a run
// works in any folder; a template with fewer lines than it keeps stops the
// run and is left as it was.
#include <string>
#include <string_view>

#include "common/text.h"
#include "output/results.h"

namespace morvantide {

namespace {

// The default templates, for gnuplot 5.  Kept lines only, Windows-1252 with
// CR LF line ends; the same bytes as templates/ in the source tree.
//
// They plot into a PNG named after the script, then open it again on the
// last kept line, so the appended title and "replot" draw the titled
// picture into it (no window, no warning about the "unknown" terminal).
// Every curve is read inside a one-pass "for [k=1:*]" iteration: a file
// with no valid point ends its iteration silently instead of warning, and
// ponto() counts the valid points and their bounds so that two invisible
// points from borda_x/borda_y keep both axes valid when every value is
// missing or only one x or y value exists.
constexpr const char kDefaultPU[] =
    "# Morvantide 4.0: ordens verdadeiras (p0, p1, p2) e aparentes (pU*) contra log10(h); "
    "gnuplot 5\r\n"
    "# ponto() conta os pontos v\xe1lidos e seus limites; os dois pontos invis\xedveis de "
    "borda_x/borda_y d\xe3o escala mesmo sem dados\r\n"
    "set encoding cp1252; set terminal pngcairo noenhanced size 1000,640 font 'Sans,11'; "
    "set output 'Morvantide_4p0_pU.png'\r\n"
    "set xlabel 'log10(h)'; set ylabel 'ordem'; set grid; set key outside right top box Left "
    "reverse\r\n"
    "n = 0; xa = 1e300; xb = -1e300; ya = 1e300; yb = -1e300; ponto(k, x, y) = k > 1 ? NaN : "
    "(abs(x) < 1e300 && abs(y) < 1e300 ? (n = n + 1, xa = x < xa ? x : xa, xb = x > xb ? x : "
    "xb, ya = y < ya ? y : ya, yb = y > yb ? y : yb) : 0, y)\r\n"
    "borda_x(i) = i > 1 ? NaN : n == 0 ? i - 1 : i == 0 ? xa - (xa == xb ? 0.05 : 0) : xb + "
    "(xa == xb ? 0.05 : 0); borda_y(i) = n == 0 ? i : i == 0 ? ya - (ya == yb ? 0.5 : 0) : yb "
    "+ (ya == yb ? 0.5 : 0)\r\n"
    "plot for [k=1:*] 'p0.dat' using 1:(ponto(k, $1, $2)) title 'p0' with lines lw 2 dt 1 lc "
    "rgb '#202020', \\\r\n"
    "     for [k=1:*] 'p1.dat' using 1:(ponto(k, $1, $2)) title 'p1' with lines lw 2 dt 2 lc "
    "rgb '#505050', \\\r\n"
    "     for [k=1:*] 'p2.dat' using 1:(ponto(k, $1, $2)) title 'p2' with lines lw 2 dt 4 lc "
    "rgb '#808080', \\\r\n"
    "     for [k=1:*] 'pU_h.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Th)' with linespoints "
    "lw 2 pt 7 lc rgb '#1f77b4', \\\r\n"
    "     for [k=1:*] 'pU_i.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Ti)' with linespoints "
    "lw 2 pt 5 lc rgb '#ff7f0e', \\\r\n"
    "     for [k=1:*] 'pU_bi.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Tbi)' with linespoints "
    "lw 2 pt 9 lc rgb '#2ca02c', \\\r\n"
    "     for [k=1:*] 'pU_c.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Tc)' with linespoints "
    "lw 2 pt 11 lc rgb '#d62728', \\\r\n"
    "     for [k=1:*] 'pU_mer.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Tm1)' with "
    "linespoints lw 2 pt 13 lc rgb '#9467bd', '+' using (borda_x($0)):(borda_y($0)) notitle "
    "with dots lc rgb '#FFFFFFFF'\r\n"
    "set output 'Morvantide_4p0_pU.png'\r\n";

constexpr const char kDefaultU[] =
    "# Morvantide 4.0: estimativas de erro contra log10(h); gnuplot 5 (ponto e borda como em "
    "Morvantide_4p0_pU.gnu)\r\n"
    "set encoding cp1252; set terminal pngcairo noenhanced size 1000,640 font 'Sans,11'; "
    "set output 'Morvantide_4p0_U.png'\r\n"
    "set xlabel 'log10(h)'; set ylabel 'log10(|U|)'; set grid; set key outside right top box "
    "Left reverse\r\n"
    "n = 0; xa = 1e300; xb = -1e300; ya = 1e300; yb = -1e300; ponto(k, x, y) = k > 1 ? NaN : "
    "(abs(x) < 1e300 && abs(y) < 1e300 ? (n = n + 1, xa = x < xa ? x : xa, xb = x > xb ? x : "
    "xb, ya = y < ya ? y : ya, yb = y > yb ? y : yb) : 0, y)\r\n"
    "borda_x(i) = i > 1 ? NaN : n == 0 ? i - 1 : i == 0 ? xa - (xa == xb ? 0.05 : 0) : xb + "
    "(xa == xb ? 0.05 : 0); borda_y(i) = n == 0 ? i : i == 0 ? ya - (ya == yb ? 0.5 : 0) : yb "
    "+ (ya == yb ? 0.5 : 0)\r\n"
    "plot for [k=1:*] 'U_12.dat' using 1:(ponto(k, $1, $2)) title 'UGCI(Th)' with linespoints "
    "lw 2 pt 7 lc rgb '#1f77b4', \\\r\n"
    "     for [k=1:*] 'U_13.dat' using 1:(ponto(k, $1, $2)) title 'Umc(Th)' with linespoints "
    "lw 2 pt 5 lc rgb '#ff7f0e', \\\r\n"
    "     for [k=1:*] 'U_14.dat' using 1:(ponto(k, $1, $2)) title 'Uc(Tc)' with linespoints "
    "lw 2 pt 9 lc rgb '#2ca02c', \\\r\n"
    "     for [k=1:*] 'U_15.dat' using 1:(ponto(k, $1, $2)) title 'Um(Tm1)' with linespoints "
    "lw 2 pt 11 lc rgb '#d62728', '+' using (borda_x($0)):(borda_y($0)) notitle with dots lc "
    "rgb '#FFFFFFFF'\r\n"
    "set output 'Morvantide_4p0_U.png'\r\n";

// The first `count` lines of `text`, each with its own line end (LF or
// CR LF; a lone CR is no line end).  A last line without a line end counts
// as a line.  Sets *lines to how many lines were taken.
std::string_view first_lines(std::string_view text, int count, int* lines) {
  size_t end = 0;
  *lines = 0;
  while (*lines < count && end < text.size()) {
    size_t lf = text.find('\n', end);
    end = lf == std::string_view::npos ? text.size() : lf + 1;
    ++*lines;
  }
  return text.substr(0, end);
}

Status too_short(const PlotScript& script, int lines) {
  return Status::Error(std::string(script.name) + ": the plot template has only " +
                       std::to_string(lines) + (lines == 1 ? " line, " : " lines, ") +
                       std::to_string(script.kept_lines) + " are needed");
}

// The template of `script`: the file when it exists, else the default.
Status template_text(const PlotScript& script, Files& files, std::string* text) {
  if (!files.exists(script.name)) {
    *text = script.default_template;
    return Status::Ok();
  }
  return files.read(script.name, text);
}

// "set title '...'" with its line end (see the top of the file).
std::string title_line(const std::string& titulo_grafico) {
  std::string text = trim(titulo_grafico);
  // The closing apostrophe is titulo_grafico's own; one is supplied should
  // it be missing, so the quote is always closed.
  if (!text.empty() && text.back() == '\'') text.pop_back();
  std::string line = "set title '";
  for (char c : text) {
    if (c == '\r' || c == '\n') continue;
    line += c;
    if (c == '\'') line += '\'';
  }
  line += '\'';
  line += kCrLf;
  return line;
}

}  // namespace

const PlotScript kScriptPU = {"Morvantide_4p0_pU.gnu", 15, kDefaultPU, "Morvantide_4p0_pU.png"};
const PlotScript kScriptU = {"Morvantide_4p0_U.gnu", 10, kDefaultU, "Morvantide_4p0_U.png"};

Status check_templates(Files& files) {
  for (const PlotScript* script : {&kScriptPU, &kScriptU}) {
    std::string text;
    MORVANTIDE_RETURN_IF_ERROR(template_text(*script, files, &text));
    int lines = 0;
    first_lines(text, script->kept_lines, &lines);
    if (lines < script->kept_lines) return too_short(*script, lines);
  }
  return Status::Ok();
}

Status roteiro(State& s, const PlotScript& script, Files& files, Platform& platform) {
  std::string text;
  MORVANTIDE_RETURN_IF_ERROR(template_text(script, files, &text));
  int lines = 0;
  std::string kept(first_lines(text, script.kept_lines, &lines));
  if (lines < script.kept_lines) return too_short(script, lines);
  if (kept.back() != '\n') kept += kCrLf;

  s.comando = fit(std::string("wgnuplot ") + script.name, kLenComando);
  // The template is the user's own file: it is replaced whole or not at all.
  MORVANTIDE_RETURN_IF_ERROR(
      files.replace(script.name, kept + title_line(s.titulo_grafico) + "replot\r\n"));
  s.status = platform.run(Program::kPlotter, script.name);
  return Status::Ok();
}

Status saida_resultados(State& s, OutputFile& listing, Files& files, Platform& platform) {
  listing.write(tabelas_pU_psi(s));
  listing.write(tabela_T(s));
  listing.write(tabela_U(s));
  MORVANTIDE_RETURN_IF_ERROR(write_plot_data(s, files));
  MORVANTIDE_RETURN_IF_ERROR(roteiro(s, kScriptPU, files, platform));
  return roteiro(s, kScriptU, files, platform);
}

}  // namespace morvantide
