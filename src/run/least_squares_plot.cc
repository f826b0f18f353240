#include "run/least_squares_plot.h"

#include <string>

#include "common/text.h"
#include "core/least_squares.h"
#include "output/plot_data.h"
#include "run/run.h"

namespace morvantide {

std::string least_squares_title(const std::string& titulo_grafico) {
  std::string title = trim(titulo_grafico);
  const bool closed = !title.empty() && title.back() == '\'';
  if (closed) title.pop_back();
  return title + kLeastSquaresNeedsGrids + (closed ? "'" : "");
}

Status draw_least_squares_plot(const State& s, const Analysis& nv, Files& files,
                               Platform& platform, const TemplateTexts* templates) {
  MORVANTIDE_RETURN_IF_ERROR(
      write_whole_file(files, kLeastSquaresPlotFile, least_squares_plot_data(nv)));
  if (s.study.nm >= kFirstLeastSquares) return draw_plot(s, kScriptULS, files, platform, templates);
  // No grid has U_LS: the picture's title says why its curve is missing.
  State titled = s;
  titled.titulo_grafico = least_squares_title(s.titulo_grafico);
  return draw_plot(titled, kScriptULS, files, platform, templates);
}

}  // namespace morvantide
