// The plot data files: the twelve of kPlotFiles and, with
// --plot-least-squares, the file of the least-squares uncertainty.
#ifndef MORVANTIDE_OUTPUT_PLOT_DATA_H_
#define MORVANTIDE_OUTPUT_PLOT_DATA_H_

#include <string>

#include "common/files.h"
#include "common/status.h"
#include "core/analysis.h"

namespace morvantide {

// The twelve plot data files of kPlotFiles, in their order.
// Reads: nm, pL, dp, log10_h and the lists the table names.
Status write_plot_data(const Analysis& a, Files& files);

// The plot data file of the least-squares uncertainty: log10(h) against
// log10|U_LS| from grid kFirstLeastSquares on, an empty line where U_LS is
// missing, laid out as U_12.dat ... U_15.dat are.
inline constexpr const char* kLeastSquaresPlotFile = "U_LS.dat";
// Its content.  Reads: nm, log10_h and the U_LS of a.ls.
std::string least_squares_plot_data(const Analysis& a);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_PLOT_DATA_H_
