// The optional picture of the least-squares uncertainty
// (--plot-least-squares): the plot data file U_LS.dat of variable nv and the
// script Morvantide_4p0_U_LS.gnu, which draws it beside the four estimates
// of U_12.dat ... U_15.dat.  The two classic scripts are never touched.
#ifndef MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_
#define MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_

#include <cstdint>
#include <string>

#include "common/files.h"
#include "common/platform.h"
#include "common/status.h"
#include "core/analysis.h"
#include "model/state.h"
#include "output/scripts.h"

namespace morvantide {

// What the picture's title adds when the study has fewer grids than
// kFirstLeastSquares (its U_LS curve is then empty).
inline constexpr char kLeastSquaresNeedsGrids[] = " - U_LS needs 4 grids";

// The title with that note, before titulo_grafico's closing apostrophe:
//   "Caso 1 (6/12/2026)'  " -> "Caso 1 (6/12/2026) - U_LS needs 4 grids'"
std::string least_squares_title(const std::string& titulo_grafico);

// Writes U_LS.dat from nv's least-squares results, completes the script as
// draw_plot does (kept lines of the template, title, "replot") and runs
// the plotter on it.
// REQUIRES: nv analysed with LeastSquaresNeed::kEveryGrid; s holds
//           titulo_grafico.
Status draw_least_squares_plot(const State& s, const Analysis& nv, Files& files,
                               Platform& platform, const TemplateTexts* templates = nullptr);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_
