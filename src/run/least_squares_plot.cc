#include "run/least_squares_plot.h"

#include <string>
#include <vector>

#include "common/text.h"

#include "core/least_squares.h"
#include "output/results.h"
#include "run/run.h"

namespace morvantide {

std::string least_squares_title(const std::string& titulo_grafico) {
  std::string title = trim(titulo_grafico);
  const bool closed = !title.empty() && title.back() == '\'';
  if (closed) title.pop_back();
  return title + kLeastSquaresNeedsGrids + (closed ? "'" : "");
}

Status draw_least_squares_plot(State& s, Files& files, Platform& platform,
                               const TemplateTexts* templates) {
  std::vector<real> h(s.nm), Th(s.nm);
  for (int32_t i = 1; i <= s.nm; ++i) {
    h[i - 1] = s.h(i);
    Th[i - 1] = s.Th(i);
  }
  const std::vector<LeastSquaresGrid> ls =
      least_squares_for_report(LeastSquaresPlan(h), Th, s.pL, false);
  RealList U_LS;
  U_LS.resize(s.nm, kSentinel);
  for (int32_t i = 1; i <= s.nm; ++i) U_LS(i) = ls[i - 1].U_LS;
  MORVANTIDE_RETURN_IF_ERROR(
      write_whole_file(files, kLeastSquaresPlotFile, least_squares_plot_data(s, U_LS)));
  if (s.nm >= kLeastSquaresFirstGrid) return draw_plot(s, kScriptULS, files, platform, templates);
  // No grid has U_LS: the picture's title says why its curve is missing.
  const std::string title = s.titulo_grafico;
  s.titulo_grafico = least_squares_title(title);
  const Status status = draw_plot(s, kScriptULS, files, platform, templates);
  s.titulo_grafico = title;
  return status;
}

}  // namespace morvantide
