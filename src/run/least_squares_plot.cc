#include "run/least_squares_plot.h"

#include "output/plot_data.h"
#include "run/run.h"

namespace morvantide {

Status draw_least_squares_plot(const State& s, const Analysis& nv, Files& files,
                               Platform& platform, const TemplateTexts* templates) {
  MORVANTIDE_RETURN_IF_ERROR(
      write_whole_file(files, kLeastSquaresPlotFile, least_squares_plot_data(nv)));
  return draw_plot(s, kScriptULS, files, platform, templates);
}

}  // namespace morvantide
