// The title of the optional picture of the least-squares uncertainty
// (--plot-least-squares): the script Morvantide_4p0_U_LS.gnu draws U_LS.dat
// of variable nv beside the four estimates of U_12.dat ... U_15.dat.  Both
// files are rows of the run's table (run_files.h); the two classic scripts
// are never touched.
#ifndef MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_
#define MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_

#include <string>

namespace morvantide {

// What the picture's title adds when the study has fewer grids than
// kFirstLeastSquares (its U_LS curve is then empty).
inline constexpr char kLeastSquaresNeedsGrids[] = " - U_LS needs 4 grids";

// The title with that note, before titulo_grafico's closing apostrophe:
//   "Caso 1 (6/12/2026)'  " -> "Caso 1 (6/12/2026) - U_LS needs 4 grids'"
std::string least_squares_title(const std::string& titulo_grafico);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_LEAST_SQUARES_PLOT_H_
