// The optional picture of the least-squares uncertainty
// (--plot-least-squares): the plot data file U_LS.dat of variable nv and the
// script Morvantide_4p0_U_LS.gnu, which draws it beside the four estimates
// of U_12.dat ... U_15.dat.  The two classic scripts are never touched.
#ifndef MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_
#define MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_

#include <cstdint>
#include <string>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"
#include "common/platform.h"
#include "output/results.h"

namespace morvantide {

// The first grid that has U_LS, and what the picture's title adds when the
// study has fewer grids (its U_LS curve is then empty).
inline constexpr int32_t kLeastSquaresFirstGrid = 4;
inline constexpr char kLeastSquaresNeedsGrids[] = " - U_LS needs 4 grids";

// The title with that note, before titulo_grafico's closing apostrophe:
//   "Caso 1 (6/12/2026)'  " -> "Caso 1 (6/12/2026) - U_LS needs 4 grids'"
std::string least_squares_title(const std::string& titulo_grafico);

// Writes U_LS.dat from the state's h, Th and pL, completes the script as
// draw_plot does (kept lines of the template, title, "replot") and runs
// the plotter on it.
// REQUIRES: s holds the grid table (tabela_malhas) and titulo_grafico.
Status draw_least_squares_plot(State& s, Files& files, Platform& platform,
                               const TemplateTexts* templates = nullptr);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_
