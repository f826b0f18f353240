#include "run/least_squares_plot.h"

#include <vector>

#include "core/least_squares.h"
#include "output/results.h"
#include "run/run.h"

namespace morvantide {

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
  return draw_plot(s, kScriptULS, files, platform, templates);
}

}  // namespace morvantide
