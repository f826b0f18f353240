// The plot data files: the twelve of kPlotFiles and, with
// --plot-least-squares, the file of the least-squares uncertainty.
#ifndef MORVANTIDE_OUTPUT_PLOT_DATA_H_
#define MORVANTIDE_OUTPUT_PLOT_DATA_H_

#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "core/analysis.h"
#include "core/least_squares.h"
#include "model/plot_files.h"

namespace morvantide {

// The twelve plot data files of kPlotFiles, in their order.
// Reads: nm, pL, dp, log10_h and the lists the table names.
Status write_plot_data(const Analysis& a, Files& files);

// The plot data files of one analysis, each formed when asked for; the
// log10(h) field of each grid is formed once, for the first file.
// Reads: nm, pL, dp, log10_h, the lists the file names and the U_LS of a.ls.
class PlotData {
 public:
  explicit PlotData(const Analysis& a) : a_(a) {}
  std::string content(const PlotFile& file);

 private:
  const Analysis& a_;
  std::vector<std::string> x_;  // x_[i]: grid i's log10(h) field (x_[0] unused)
};

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_PLOT_DATA_H_
