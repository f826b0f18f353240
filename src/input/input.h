// The input stage: the control file, the parameter file it names and the
// result files, read into the analysis state.  The editor is started on the
// control file and on the parameter file before each is read.
//
// Every bad input ends the stage with one message naming the file, the line,
// the item and what was found; nothing has been written at that point.
#ifndef MORVANTIDE_INPUT_INPUT_H_
#define MORVANTIDE_INPUT_INPUT_H_

#include <string>

#include "common/files.h"
#include "common/status.h"
#include "common/platform.h"
#include "run/state.h"

namespace morvantide {

inline constexpr const char* kControlFile = "Morvantide_4p0.in";

// The most grids a run accepts, set by running time: the estimation time
// grows with the square of nm, and with a variable ratio (the worst case)
// this many grids take about a minute on a desktop machine of 2026.
inline constexpr int32_t kMaxGrids = 6000;

// Reads the control file and the parameter file (with the editor first on
// each), creates the per-grid lists and the true orders.
Status read_control_and_parameters(State& s, Files& files, Platform& platform);

// Reads h and Th of every grid from the result files, in the layout of s.modo.
Status read_result_files(State& s, Files& files);

// The parameter file used: arq_dados_n or arq_dados_1 by the layout, trimmed.
std::string parameter_file_name(const State& s);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_INPUT_H_
