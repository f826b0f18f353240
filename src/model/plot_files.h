// The twelve plot data files, in the order they are written: each file's
// name, the label of its heading, what it plots and from which grid on.
// The writer, the check that no output overwrites an input and the tests all
// loop over this one table.
#ifndef MORVANTIDE_MODEL_PLOT_FILES_H_
#define MORVANTIDE_MODEL_PLOT_FILES_H_

#include <cstdint>

#include "model/state.h"

namespace morvantide {

enum class PlotKind {
  kTrueOrder,      // the true order `level` at every grid (a reference line)
  kObservedOrder,  // an observed order, plotted where below kOrderBound
  kEstimate,       // log10 of an absolute error estimate, plotted where computed
  kLeastSquares,   // log10|U_LS| of the least-squares results, plotted where computed
};

struct PlotFile {
  const char* name;
  const char* label;  // as the heading prints it, blanks included
  PlotKind kind;
  RealList Estimates::*list;  // the plotted list (none for a true order or U_LS)
  int32_t first;              // first grid of the file
  int32_t level;              // which true order (1 = pL), for kTrueOrder
};

inline constexpr PlotFile kPlotFiles[] = {
    {"p0.dat", "p0", PlotKind::kTrueOrder, nullptr, 1, 1},
    {"pU_h.dat", "pU_h", PlotKind::kObservedOrder, &Estimates::pUs_Th, kFirstRatioTh, 0},
    {"p1.dat", "p1", PlotKind::kTrueOrder, nullptr, 1, 2},
    {"pU_i.dat", "pU_i", PlotKind::kObservedOrder, &Estimates::pUs_Ti, kFirstRatioTi, 0},
    {"p2.dat", "p2", PlotKind::kTrueOrder, nullptr, 1, 3},
    {"pU_bi.dat", "pU_bi", PlotKind::kObservedOrder, &Estimates::pUs_Tbi, kFirstRatioTbi, 0},
    {"pU_c.dat", "pU_c", PlotKind::kObservedOrder, &Estimates::pUs_Tc, kFirstRatioTi, 0},
    // Starts a grid before the first order of Tm1, with an empty line.
    {"pU_mer.dat", "pU*(Tm1)", PlotKind::kObservedOrder, &Estimates::pUs_Tm1, kFirstRatioTh, 0},
    {"U_12.dat", "log|UGCI(Th)|", PlotKind::kEstimate, &Estimates::UGCI_Th, kFirstDifference, 0},
    {"U_13.dat", "log|Umc(Th)|", PlotKind::kEstimate, &Estimates::Umc_Th, kFirstDifference, 0},
    {"U_14.dat", " log|Uc(Tc)|", PlotKind::kEstimate, &Estimates::Uc_Tc, kFirstDifference, 0},
    {"U_15.dat", " log|Um(Tm1)|", PlotKind::kEstimate, &Estimates::Um_Tm1, kFirstDifference, 0},
};

// The plot data file of the least-squares uncertainty (--plot-least-squares):
// log10(h) against log10|U_LS| from grid kFirstLeastSquares on, an empty
// line where U_LS is missing, laid out as U_12.dat ... U_15.dat are.
inline constexpr PlotFile kLeastSquaresPlot = {"U_LS.dat", "log|U_LS|", PlotKind::kLeastSquares,
                                               nullptr, kFirstLeastSquares, 0};

// A plot script: its name, the lines of its template it keeps, its default
// template and the picture that template draws (their texts are the
// output's, output/scripts.cc).
struct PlotScript {
  const char* name;
  int kept_lines;
  const char* default_template;
  const char* default_picture;
};
extern const PlotScript kScriptPU;  // Morvantide_4p0_pU.gnu, 15 lines
extern const PlotScript kScriptU;   // Morvantide_4p0_U.gnu, 10 lines
// Only with --plot-least-squares: the four estimates of Morvantide_4p0_U.gnu
// and the least-squares uncertainty of kLeastSquaresPlot.
extern const PlotScript kScriptULS;  // Morvantide_4p0_U_LS.gnu, 11 lines

// The plot scripts of every run, in the order the run completes them.
inline const PlotScript* const kPlotScripts[] = {&kScriptPU, &kScriptU};

}  // namespace morvantide

#endif  // MORVANTIDE_MODEL_PLOT_FILES_H_
